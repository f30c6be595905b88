// SPDX-License-Identifier: GPL-3.0-or-later
// Streamed requests against a loopback server that sends Server-Sent Events, run in a child
// process so its threads are not counted as ours: the first chunk's latency next to libcurl alone,
// many streams at once, memory over a long stream, and how soon a cancel closes the connection.
//
// Page calls go to a sink that, like the bridge, posts each one to the GLib main queue; the clock
// stops when that task runs. The web view's own evaluation is not included.
#include <curl/curl.h>
#include <dirent.h>
#include <glib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/workers.h"
#include "gobj/glib_main_queue.h"
#include "net/curl_http_client.h"
#include "net/net_access.h"
#include "proc_stats.h"
#include "support/stream_test_server.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
double worst(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

// Counts page calls as the bridge would deliver them: each one a main-queue task.
class Sink final : public bridge::PageSink {
public:
    explicit Sink(common::MainQueue& q) : queue_(q) {}
    int replies = 0, failures = 0, chunks = 0;
    std::size_t chunkBytes = 0;
    Clock::time_point firstChunk{}, lastReply{};
    void pushFunction(std::string, json::Value payload) override {
        queue_.post([this, ok = payload.find("ok") && *payload.find("ok") == json::Value(true)] {
            ++replies;
            if (!ok) ++failures;
            lastReply = Clock::now();
        });
    }
    // The stream's pieces: counted by the bytes of their text.
    void callGuarded(std::string, json::Value chunk) override {
        const std::string* text = chunk.find("text") ? chunk.find("text")->string() : nullptr;
        queue_.post([this, n = text ? text->size() : 0] {
            if (chunks++ == 0) firstChunk = Clock::now();
            chunkBytes += n;
        });
    }
    bool alive() const override { return true; }
    void pushScript(std::string) override {}
    void callThen(std::string, Done) override {}
    void carryThen(std::string, std::string, Done) override {}
    void pushPositional(std::string, json::Array) override {}
    void callGuardedPositional(std::string, json::Array) override {}
    void pushWrapped(std::string, json::Value) override {}

private:
    common::MainQueue& queue_;
};

// The longest stretch the main loop spent between two polls.
struct LoopWatch {
    GSource source;
    gint64 lastCheck;
    gint64 longest;
};
GSourceFuncs loopWatchFuncs = {[](GSource* s, gint* timeout) -> gboolean {
                                   auto* w = reinterpret_cast<LoopWatch*>(s);
                                   gint64 now = g_get_monotonic_time();
                                   if (w->lastCheck) w->longest = std::max(w->longest, now - w->lastCheck);
                                   *timeout = -1;
                                   return FALSE;
                               },
                               [](GSource* s) -> gboolean {
                                   reinterpret_cast<LoopWatch*>(s)->lastCheck = g_get_monotonic_time();
                                   return FALSE;
                               },
                               [](GSource*, GSourceFunc, gpointer) -> gboolean { return G_SOURCE_CONTINUE; },
                               nullptr,
                               nullptr,
                               nullptr};

std::string event(int i) {
    return "data: {\"choices\":[{\"delta\":{\"content\":\"token " + std::to_string(i) + " \"}}]}\n\n";
}

json::Value streamMessage(const std::string& url) {
    return json::Object{{"action", "netRequest"}, {"url", url}, {"method", "GET"}, {"stream", true}};
}

// The server: /first sends one event at once; /events 500 events 2 ms apart; /big 100 MB as fast as
// it can; /hold one event every 5 ms until the client closes, then reports the close time.
void serve(int readyFd, int quitFd, int closeFd) {
    testsupport::StreamTestServer server;
    server.handle([closeFd](testsupport::StreamTestServer::Exchange& x) {
        x.sendHead(200, {"Content-Type: text/event-stream"});
        if (x.target == "/first") {
            x.send(event(0));
            x.end();
        } else if (x.target == "/events") {
            for (int i = 0; i < 500; ++i) {
                if (!x.send(event(i))) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            x.end();
        } else if (x.target == "/big") {
            std::string block = "data: " + std::string(65536 - 8, 'x') + "\n\n";
            for (std::size_t sent = 0; sent < 100'000'000; sent += block.size())
                if (!x.send(block)) return;
            x.end();
        } else if (x.target == "/hold") {
            while (x.send(event(1)))
                if (x.waitForClose(std::chrono::milliseconds(5))) break;
            auto at = Clock::now().time_since_epoch().count();
            if (write(closeFd, &at, sizeof at) != sizeof at) return;
        }
    });
    std::string url = server.url("");
    int port = std::stoi(url.substr(url.rfind(':') + 1));
    if (write(readyFd, &port, sizeof port) != sizeof port) _exit(1);
    char c;
    while (read(quitFd, &c, 1) > 0) {
    }
    _exit(0);
}

}  // namespace

int main() {
    int ready[2], quit[2], closes[2];
    if (pipe(ready) != 0 || pipe(quit) != 0 || pipe(closes) != 0) return 1;
    pid_t child = fork();
    if (child == 0) {
        close(quit[1]);
        close(ready[0]);
        close(closes[0]);
        serve(ready[1], quit[0], closes[1]);
    }
    close(quit[0]);
    close(ready[1]);
    close(closes[1]);
    int port = 0;
    if (read(ready[0], &port, sizeof port) != sizeof port) return 1;
    const std::string origin = "http://127.0.0.1:" + std::to_string(port);
    constexpr int kFirstRuns = 300;
    constexpr int kStreams = 200;

    // 1. libcurl alone: request to the first body byte, fresh connection each time.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    std::vector<double> plainFirst;
    for (int i = 0; i < kFirstRuns; ++i) {
        CURL* easy = curl_easy_init();
        Clock::time_point first{};
        curl_easy_setopt(easy, CURLOPT_URL, (origin + "/first").c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &first);
        curl_easy_setopt(
            easy, CURLOPT_WRITEFUNCTION, +[](char*, size_t s, size_t n, void* p) {
                auto* f = static_cast<Clock::time_point*>(p);
                if (*f == Clock::time_point{}) *f = Clock::now();
                return s * n;
            });
        auto t0 = Clock::now();
        curl_easy_perform(easy);
        plainFirst.push_back(ms(first - t0));
        curl_easy_cleanup(easy);
    }

    gobj::GlibMainQueue queue;
    common::Workers workers(queue, 2);
    auto sink = std::make_shared<Sink>(queue);
    auto client = std::make_shared<net::CurlHttpClient>(queue);
    auto access = std::make_shared<net::NetAccess>(client, sink, nullptr, workers);
    auto* watch = reinterpret_cast<LoopWatch*>(g_source_new(&loopWatchFuncs, sizeof(LoopWatch)));
    watch->lastCheck = watch->longest = 0;
    g_source_attach(&watch->source, nullptr);
    auto runUntil = [&](auto done) {
        while (!done()) g_main_context_iteration(nullptr, TRUE);
    };

    // 2. netRequest with stream: command on the main thread to the first __netChunk task. Each
    // request opens its own connection, as libcurl alone did above.
    std::vector<double> proxiedFirst;
    for (int i = 0; i < kFirstRuns; ++i) {
        auto fresh =
            std::make_shared<net::NetAccess>(std::make_shared<net::CurlHttpClient>(queue), sink, nullptr, workers);
        int want = sink->replies + 1;
        sink->chunks = 0;
        auto t0 = Clock::now();
        fresh->netRequest("f", origin + "/first", streamMessage(origin + "/first"));
        runUntil([&] { return sink->replies >= want; });
        proxiedFirst.push_back(ms(sink->firstChunk - t0));
    }

    // 3. 200 streams at once, 500 events each, 2 ms apart.
    int threadsBefore = threadCount(), threadsPeak = threadsBefore;
    sink->chunks = 0;
    sink->chunkBytes = 0;
    int failuresBefore = sink->failures;
    int want = sink->replies + kStreams;
    watch->longest = 0;
    watch->lastCheck = 0;
    auto t0 = Clock::now();
    for (int i = 0; i < kStreams; ++i)
        access->netRequest("s" + std::to_string(i), origin + "/events", streamMessage(origin + "/events"));
    while (sink->replies < want) {
        g_main_context_iteration(nullptr, TRUE);
        threadsPeak = std::max(threadsPeak, threadCount());
    }
    double manyMs = ms(Clock::now() - t0);
    double longestMs = static_cast<double>(watch->longest) / 1000.0;
    int manyChunks = sink->chunks;
    int manyFailures = sink->failures - failuresBefore;

    // 4. One 100 MB stream: resident memory sampled while it runs.
    double rssBefore = rssMiB("VmRSS:"), rssPeak = rssBefore;
    sink->chunkBytes = 0;
    sink->chunks = 0;
    want = sink->replies + 1;
    t0 = Clock::now();
    access->netRequest("big", origin + "/big", streamMessage(origin + "/big"));
    while (sink->replies < want) {
        g_main_context_iteration(nullptr, TRUE);
        rssPeak = std::max(rssPeak, rssMiB("VmRSS:"));
    }
    double bigMs = ms(Clock::now() - t0);
    double bigMiB = static_cast<double>(sink->chunkBytes) / (1024.0 * 1024.0);
    int bigChunks = sink->chunks;
    double rssAfter = rssMiB("VmRSS:");

    // 5. Cancel mid-stream: netCancel on the main thread to the server seeing the close.
    std::vector<double> cancelToClose;
    for (int i = 0; i < 50; ++i) {
        sink->chunks = 0;
        access->netRequest("h", origin + "/hold", streamMessage(origin + "/hold"));
        runUntil([&] { return sink->chunks >= 2; });
        want = sink->replies + 1;
        auto c0 = Clock::now();
        access->netCancel("h");
        Clock::rep closedAt = 0;
        if (read(closes[0], &closedAt, sizeof closedAt) != sizeof closedAt) break;
        cancelToClose.push_back(ms(Clock::time_point(Clock::duration(closedAt)) - c0));
        runUntil([&] { return sink->replies >= want; });
    }

    close(quit[1]);
    waitpid(child, nullptr, 0);

    std::printf("Streamed requests against a local SSE server (127.0.0.1)\n\n");
    std::printf("| measure                                                  | median ms | worst ms |\n");
    std::printf("|----------------------------------------------------------|-----------|----------|\n");
    std::printf("| libcurl alone: request to first body byte (%d runs)     | %9.3f | %8.3f |\n", kFirstRuns,
                median(plainFirst), worst(plainFirst));
    std::printf("| netRequest stream: command to first __netChunk task      | %9.3f | %8.3f |\n", median(proxiedFirst),
                worst(proxiedFirst));
    std::printf("| added by the proxy (difference of medians; goal < 2)     | %9.3f |          |\n",
                median(proxiedFirst) - median(plainFirst));
    std::printf("| netCancel to the server seeing the close (%zu runs)       | %9.3f | %8.3f |\n", cancelToClose.size(),
                median(cancelToClose), worst(cancelToClose));
    std::printf("\n| %d streams at once, 500 events each 2 ms apart          | value    |\n", kStreams);
    std::printf("|----------------------------------------------------------|----------|\n");
    std::printf("| all replies in, ms                                       | %8.1f |\n", manyMs);
    std::printf("| longest main-loop iteration, ms (goal <= 16)             | %8.2f |\n", longestMs);
    std::printf("| page calls for chunks (100000 events)                    | %8d |\n", manyChunks);
    std::printf("| threads in process before / peak during                  | %3d / %-3d|\n", threadsBefore,
                threadsPeak);
    std::printf("| failed replies                                           | %8d |\n", manyFailures);
    std::printf("\n| one 100 MB stream                                        | value    |\n");
    std::printf("|----------------------------------------------------------|----------|\n");
    std::printf("| received as chunks, MiB / page calls                     | %5.1f / %-5d|\n", bigMiB, bigChunks);
    std::printf("| time, ms                                                 | %8.1f |\n", bigMs);
    std::printf("| RSS before / peak during / after, MiB                    | %.1f / %.1f / %.1f |\n", rssBefore,
                rssPeak, rssAfter);

    g_source_destroy(&watch->source);
    g_source_unref(&watch->source);
    return 0;
}
