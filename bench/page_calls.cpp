// SPDX-License-Identifier: GPL-3.0-or-later
// Page calls that carry one long string (a rendered page's data URL) into a real web view: the
// script text form, where WebKit parses the string as source, against the string carried as an
// argument beside a one-line body. Picks the size from which carrying pays. Needs a display.
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "bridge/bridge.h"
#include "bridge/webkit_page_channel.h"
#include "common/base64.h"
#include "gobj/glib_main_queue.h"

namespace {

using Clock = std::chrono::steady_clock;
double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Page {
    WebKitWebView* view = nullptr;
    bool done = false;
};

// Pushes `calls` page calls of one string of `bytes` and waits until the page has received them all.
double run(Page& page, bridge::Bridge& bridge, const std::string& url, int calls) {
    page.done = false;
    auto start = Clock::now();
    for (int i = 0; i < calls; ++i) bridge.pushPositional("sink", json::Array{"req", i, calls, url});
    while (!page.done) g_main_context_iteration(nullptr, TRUE);
    return ms(Clock::now() - start) / calls;
}

}  // namespace

int main() {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::printf("needs a display: run under xvfb-run\n");
        return 1;
    }
    gtk_init();
    Page page;
    WebKitUserContentManager* ucm = webkit_user_content_manager_new();
    webkit_user_content_manager_register_script_message_handler(ucm, "done", nullptr);
    g_signal_connect(ucm, "script-message-received::done",
                     G_CALLBACK(+[](WebKitUserContentManager*, JSCValue*, gpointer p) noexcept {
                         static_cast<Page*>(p)->done = true;
                     }),
                     &page);
    page.view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", ucm, nullptr));
    GtkWidget* win = gtk_window_new();
    gtk_window_set_child(GTK_WINDOW(win), GTK_WIDGET(page.view));
    gtk_window_present(GTK_WINDOW(win));
    // The page keeps each string, as the board keeps each page image, and checks it arrived whole.
    webkit_web_view_load_html(page.view,
                              "<html><body><script>window.kept = []; window.bad = 0;"
                              "window.sink = (id, i, n, url) => { kept.push(url); if (url.length % 4) bad++;"
                              "  if (i === n - 1) { kept = []; webkit.messageHandlers.done.postMessage(bad); } };"
                              "</script></body></html>",
                              "file:///");
    while (webkit_web_view_is_loading(page.view)) g_main_context_iteration(nullptr, TRUE);

    gobj::GlibMainQueue queue;
    auto bridge = std::make_shared<bridge::Bridge>(queue, std::make_shared<bridge::WebkitPageChannel>(page.view));

    std::mt19937 rng(7);
    std::printf("One page call carrying a data URL of the given size; ms per call, page received, median of 5\n\n");
    std::printf("| %10s | %5s | %10s | %12s | %8s | %12s |\n", "string", "calls", "text ms", "carried ms", "speed-up",
                "carried MB/s");
    std::printf("|-----------:|------:|-----------:|-------------:|---------:|-------------:|\n");
    for (std::size_t raw :
         {96u, 288u, 768u, 3u * 1024, 12u * 1024, 48u * 1024, 192u * 1024, 640u * 1024, 2400u * 1024}) {
        std::vector<std::uint8_t> bytes(raw);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
        std::string url = "data:image/jpeg;base64," + common::base64::encode(bytes.data(), bytes.size());
        const int calls = std::clamp(static_cast<int>(40'000'000 / url.size()), 8, 400);
        std::vector<double> text, carried;
        for (int round = 0; round < 6; ++round) {  // the first round warms both paths up
            bridge->setLiftBytes(SIZE_MAX);
            double t = run(page, *bridge, url, calls);
            bridge->setLiftBytes(1);
            double c = run(page, *bridge, url, calls);
            if (round == 0) continue;
            text.push_back(t);
            carried.push_back(c);
        }
        double t = median(text), c = median(carried);
        std::printf("| %8zu B | %5d | %10.3f | %12.3f | %7.2fx | %12.0f |\n", url.size(), calls, t, c, t / c,
                    url.size() / 1e6 / (c / 1000));
    }
    std::printf("\nBridge::kDefaultLiftBytes = %zu: strings from that size on are carried.\n",
                bridge::Bridge::kDefaultLiftBytes);
    return 0;
}
