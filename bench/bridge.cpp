// SPDX-License-Identifier: GPL-3.0-or-later
// Base64 against OpenSSL on 25 MiB, and a 25 MiB data URL from the page's postMessage to decoded
// bytes in native memory. Needs a display (run under xvfb-run).
#include <gtk/gtk.h>
#include <openssl/evp.h>
#include <sys/resource.h>
#include <webkit/webkit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "bridge/webkit_script_message.h"
#include "common/base64.h"
#include "common/data_url.h"

namespace {

using Clock = std::chrono::steady_clock;
double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

template <class F>
double bestOf(int n, F f) {
    double best = 1e300;
    for (int i = 0; i < n; ++i) {
        auto t = Clock::now();
        f();
        best = std::min(best, ms(Clock::now() - t));
    }
    return best;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long peakKiB() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

struct PostRun {
    double postToSignal = 0, valueRead = 0, decode = 0;
    bool ok = false;
};

struct PageBench {
    WebKitWebView* view = nullptr;
    std::vector<PostRun> runs;
    double jsStartEpochMs = 0;
    bool waiting = false;
};

double epochMs() { return g_get_real_time() / 1000.0; }

void onMessage(WebKitUserContentManager*, JSCValue* value, gpointer data) {
    auto* b = static_cast<PageBench*>(data);
    double signalAt = epochMs();
    auto t0 = Clock::now();
    json::Value msg = bridge::fromJsc(value);
    auto t1 = Clock::now();
    PostRun run;
    if (auto* start = msg.find("t") ? msg.find("t")->number() : nullptr) run.postToSignal = signalAt - *start;
    if (auto* url = msg.stringAt("dataUrl")) {
        auto bytes = common::dataurl::decode(*url);
        run.ok = bytes && bytes->size() == 25u * 1024 * 1024;
    }
    auto t2 = Clock::now();
    run.valueRead = ms(t1 - t0);
    run.decode = ms(t2 - t1);
    b->runs.push_back(run);
    b->waiting = false;
}

void onBare(WebKitUserContentManager*, JSCValue* value, gpointer data) {
    auto* b = static_cast<PageBench*>(data);
    double signalAt = epochMs();
    PostRun run;
    // Only the time stamp is read: the bare cost of getting a 25 MiB string to the native signal.
    g_autoptr(JSCValue) t = jsc_value_object_get_property(value, "t");
    run.postToSignal = signalAt - jsc_value_to_double(t);
    run.ok = true;
    b->runs.push_back(run);
    b->waiting = false;
}

void waitWhile(const bool& flag) {
    while (flag) g_main_context_iteration(nullptr, TRUE);
}

}  // namespace

int main(int argc, char** argv) {
    constexpr std::size_t kSize = 25u * 1024 * 1024;
    std::vector<std::uint8_t> data(kSize);
    std::mt19937_64 rng(42);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());

    std::string ours = common::base64::encode(data.data(), data.size());
    std::vector<unsigned char> ossl(4 * ((kSize + 2) / 3) + 1);
    std::vector<unsigned char> back(kSize + 3);
    std::vector<char> buffer(common::base64::encodedSize(kSize));
    double encOurs = bestOf(5, [&] { common::base64::encodeTo(data.data(), data.size(), buffer.data()); });
    double encOursNew = bestOf(5, [&] { ours = common::base64::encode(data.data(), data.size()); });
    double encSsl = bestOf(5, [&] { EVP_EncodeBlock(ossl.data(), data.data(), static_cast<int>(kSize)); });
    common::Bytes decoded;
    decoded.reserve(kSize);
    double decOurs = bestOf(5, [&] {
        decoded.clear();
        common::base64::decodeAppend(ours, decoded);
    });
    double decSsl = bestOf(5, [&] {
        EVP_DecodeBlock(back.data(), reinterpret_cast<const unsigned char*>(ours.data()),
                        static_cast<int>(ours.size()));
    });
    bool same = decoded == data && std::string(reinterpret_cast<char*>(ossl.data())) == ours &&
                std::string(buffer.begin(), buffer.end()) == ours;
    auto mbps = [&](double msTime, std::size_t bytes) { return bytes / 1e6 / (msTime / 1000.0); };

    std::printf("base64 on 25 MiB (best of 5)%s\n", same ? "" : "  [MISMATCH]");
    std::printf("| %-34s | %9s | %9s |\n", "operation", "ms", "MB/s");
    std::printf("|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(11, '-').c_str(),
                std::string(11, '-').c_str());
    std::printf("| %-34s | %9.1f | %9.0f |\n", "encode (ours, into a buffer)", encOurs, mbps(encOurs, kSize));
    std::printf("| %-34s | %9.1f | %9.0f |\n", "encode (ours, into a new string)", encOursNew, mbps(encOursNew, kSize));
    std::printf("| %-34s | %9.1f | %9.0f |\n", "encode (OpenSSL EVP_EncodeBlock)", encSsl, mbps(encSsl, kSize));
    std::printf("| %-34s | %9.1f | %9.0f |\n", "strict decode (ours, into a buffer)", decOurs, mbps(decOurs, kSize));
    std::printf("| %-34s | %9.1f | %9.0f |\n", "decode (OpenSSL, not strict)", decSsl, mbps(decSsl, kSize));

    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::printf("\n(no display: run under xvfb-run for the page-to-native figures)\n");
        return 0;
    }
    gtk_init();
    PageBench b;
    WebKitUserContentManager* ucm = webkit_user_content_manager_new();
    webkit_user_content_manager_register_script_message_handler(ucm, "canvasBridge", nullptr);
    webkit_user_content_manager_register_script_message_handler(ucm, "bare", nullptr);
    g_signal_connect(ucm, "script-message-received::canvasBridge", G_CALLBACK(onMessage), &b);
    g_signal_connect(ucm, "script-message-received::bare", G_CALLBACK(onBare), &b);
    b.view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", ucm, nullptr));
    GtkWidget* win = gtk_window_new();
    gtk_window_set_child(GTK_WINDOW(win), GTK_WIDGET(b.view));
    gtk_window_present(GTK_WINDOW(win));
    webkit_web_view_load_html(b.view, "<html><body><script>window.ready = 1</script></body></html>", "file:///");
    while (webkit_web_view_is_loading(b.view)) g_main_context_iteration(nullptr, TRUE);

    // Build the 25 MiB data URL in the page once.
    std::string setup = "window.big = 'data:application/octet-stream;base64,' + '" + ours + "'; 1";
    bool busy = true;
    webkit_web_view_evaluate_javascript(
        b.view, setup.data(), setup.size(), nullptr, nullptr, nullptr,
        [](GObject*, GAsyncResult*, gpointer f) { *static_cast<bool*>(f) = false; }, &busy);
    waitWhile(busy);

    auto post = [&](const char* handler, int rounds) {
        b.runs.clear();
        for (int i = 0; i < rounds; ++i) {
            std::string js =
                std::string("window.webkit.messageHandlers.") + handler +
                ".postMessage({action:'bench', dataUrl: window.big, t: performance.timeOrigin + performance.now()})";
            b.waiting = true;
            webkit_web_view_evaluate_javascript(b.view, js.data(), js.size(), nullptr, nullptr, nullptr, nullptr,
                                                nullptr);
            waitWhile(b.waiting);
        }
        return b.runs;
    };
    constexpr int kRounds = 7;
    post("bare", 2);  // warm both paths up before measuring either
    post("canvasBridge", 2);
    auto bare = post("bare", kRounds);
    auto full = post("canvasBridge", kRounds);
    std::vector<double> bareT, sig, read, dec, total;
    bool allOk = true;
    for (auto& r : bare) bareT.push_back(r.postToSignal);
    for (auto& r : full) {
        sig.push_back(r.postToSignal);
        read.push_back(r.valueRead);
        dec.push_back(r.decode);
        total.push_back(r.postToSignal + r.valueRead + r.decode);
        allOk = allOk && r.ok;
    }
    std::printf("\n25 MiB data URL posted by the page (median of %d)%s\n", kRounds, allOk ? "" : "  [DECODE FAILED]");
    std::printf("| %-46s | %9s |\n", "stage", "ms");
    std::printf("|%s|%s|\n", std::string(48, '-').c_str(), std::string(11, '-').c_str());
    std::printf("| %-46s | %9.1f |\n", "bare postMessage → native signal", median(bareT));
    std::printf("| %-46s | %9.1f |\n", "bridge: postMessage → signal", median(sig));
    std::printf("| %-46s | %9.1f |\n", "bridge: message read from the JS value", median(read));
    std::printf("| %-46s | %9.1f |\n", "bridge: data URL strictly decoded", median(dec));
    std::printf("| %-46s | %9.1f |\n", "bridge: postMessage → decoded bytes", median(total));
    std::printf("| %-46s | %9.2f |\n", "ratio to bare post (target ≤ 2.00)", median(total) / median(bareT));
    std::printf("| %-46s | %9.0f |\n", "peak memory of this process (MiB)", peakKiB() / 1024.0);
    (void)argc;
    (void)argv;
    return 0;
}
