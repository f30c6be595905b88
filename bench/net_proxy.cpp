// SPDX-License-Identifier: GPL-3.0-or-later
// The request proxy's cost next to libcurl alone and the curl program, against a small server on
// 127.0.0.1 running in a child process (so its threads are not counted as ours).
//
// Page-side time is approximated without the web view: netRequest is called on the main thread as
// the dispatcher would, and the clock stops when the __netReply page call would be evaluated — a
// page sink that, like the bridge, posts each page call to the GLib main queue and records the time
// when that task runs. The web view's own message and evaluation hops are not included.
#include <curl/curl.h>
#include <dirent.h>
#include <glib.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/workers.h"
#include "gobj/glib_main_queue.h"
#include "net/curl_http_client.h"
#include "net/net_access.h"
#include "proc_stats.h"
#include "support/http_test_server.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// Resident memory of this process (VmRSS now, VmHWM at its peak), in MiB.
class Secrets final : public vault::SecretSource {
public:
    explicit Secrets(common::MainQueue& queue) : queue_(queue) {}
    // Bound to wherever it is asked for: the bench measures the proxy, not the question.
    Ticket get(const std::string&, const std::string& origin, Answer answer) override {
        queue_.post([origin, answer = std::move(answer)] { answer(Key{"sk-bench-secret", {origin}}); });
        return 0;
    }
    void cancel(Ticket) override {}
    void allow(const std::string&, const std::string&) override {}

private:
    common::MainQueue& queue_;
};

// Stands in for the bridge: each page call becomes a main-queue task, and its time is recorded.
class TimingSink final : public bridge::PageSink {
public:
    explicit TimingSink(common::MainQueue& q) : queue_(q) {}
    int replies = 0;
    int failures = 0;
    Clock::time_point last;
    void pushFunction(std::string, json::Value payload) override {
        queue_.post([this, ok = payload.find("ok") && *payload.find("ok") == json::Value(true)] {
            ++replies;
            if (!ok) ++failures;
            last = Clock::now();
        });
    }
    void pushPositional(std::string, json::Array) override {}
    int images = 0;
    void pushWrapped(std::string, json::Value) override {
        queue_.post([this] { ++images; });
    }
    void pushScript(std::string) override {}
    bool alive() const override { return true; }
    void callGuarded(std::string, json::Value) override {}
    void callGuardedPositional(std::string, json::Array) override {}
    void callThen(std::string, Done) override {}
    void carryThen(std::string, std::string, Done) override {}

private:
    common::MainQueue& queue_;
};

gint64 threadCpuMicros() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<gint64>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Records the longest stretch the main loop spent between polls (time the main thread was busy).
struct LoopWatch {
    GSource source;
    gint64 lastCheck;
    gint64 longest;
    gint64 lastCheckCpu;
    gint64 longestCpu;  // the same stretch in main-thread CPU time: without other processes' preemption
    gint64 lastSample;
    int peakThreads;
};

GSourceFuncs loopWatchFuncs = {[](GSource* s, gint* timeout) -> gboolean {
                                   auto* w = reinterpret_cast<LoopWatch*>(s);
                                   gint64 now = g_get_monotonic_time();
                                   if (w->lastCheck) {
                                       w->longest = std::max(w->longest, now - w->lastCheck);
                                       w->longestCpu = std::max(w->longestCpu, threadCpuMicros() - w->lastCheckCpu);
                                   }
                                   if (now - w->lastSample > 1000) {
                                       w->peakThreads = std::max(w->peakThreads, threadCount());
                                       w->lastSample = now;
                                   }
                                   *timeout = -1;
                                   return FALSE;
                               },
                               [](GSource* s) -> gboolean {
                                   reinterpret_cast<LoopWatch*>(s)->lastCheck = g_get_monotonic_time();
                                   reinterpret_cast<LoopWatch*>(s)->lastCheckCpu = threadCpuMicros();
                                   return FALSE;
                               },
                               [](GSource*, GSourceFunc, gpointer) -> gboolean { return G_SOURCE_CONTINUE; },
                               nullptr,
                               nullptr,
                               nullptr};

json::Value requestMessage(const std::string& url, int i) {
    return json::Object{{"action", "netRequest"},
                        {"reqId", "r" + std::to_string(i)},
                        {"url", url},
                        {"body", R"({"model":"m","prompt":"hi"})"},
                        {"headers", json::Object{{"Content-Type", "application/json"}}},
                        {"auth", json::Object{{"keyId", "k"}}}};
}

void setRequest(CURL* easy, const std::string& url, curl_slist* headers) {
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, R"({"model":"m","prompt":"hi"})");
    curl_easy_setopt(
        easy, CURLOPT_WRITEFUNCTION, +[](char*, size_t s, size_t n, void*) { return s * n; });
}

}  // namespace

int main() {
    // The server lives in a child process started before this process has any thread.
    int ready[2], quit[2];
    if (pipe(ready) != 0 || pipe(quit) != 0) return 1;
    pid_t child = fork();
    if (child == 0) {
        close(quit[1]);
        close(ready[0]);
        testsupport::HttpTestServer server;
        server.handle([](const testsupport::ReceivedRequest& r) {
            if (r.target == "/big.png")
                return testsupport::ScriptedResponse{200, {}, std::string(30'000'000, '\x89'), true};
            return testsupport::ScriptedResponse{200, {{"Content-Type", "application/json"}}, R"({"answer":"ok"})"};
        });
        int port = server.port();
        if (write(ready[1], &port, sizeof port) != sizeof port) _exit(1);
        char c;
        while (read(quit[0], &c, 1) > 0) {
        }
        _exit(0);
    }
    close(quit[0]);
    close(ready[1]);
    int port = 0;
    if (read(ready[0], &port, sizeof port) != sizeof port) return 1;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/v1/chat";
    constexpr int kSequential = 1000;
    constexpr int kConcurrent = 200;
    constexpr int kProgramRuns = 100;

    curl_global_init(CURL_GLOBAL_DEFAULT);
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Content-Type: application/json");
    headers = curl_slist_append(headers, "Authorization: Bearer sk-bench-secret");
    headers = curl_slist_append(headers, "Expect:");

    // 1. libcurl alone: one reused easy handle, sequential requests.
    std::vector<double> plain;
    {
        CURL* easy = curl_easy_init();
        setRequest(easy, url, headers);
        for (int i = 0; i < kSequential + 50; ++i) {
            auto t0 = Clock::now();
            curl_easy_perform(easy);
            if (i >= 50) plain.push_back(ms(Clock::now() - t0));
        }
        curl_easy_cleanup(easy);
    }

    // 2. The curl program, one process per request.
    std::vector<double> program;
    for (int i = 0; i < kProgramRuns; ++i) {
        std::vector<std::string> args = {"curl", "-s",
                                         "-o",   "/dev/null",
                                         "-H",   "Content-Type: application/json",
                                         "-d",   R"({"model":"m","prompt":"hi"})",
                                         url};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        auto t0 = Clock::now();
        pid_t pid;
        if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) break;
        int status;
        waitpid(pid, &status, 0);
        program.push_back(ms(Clock::now() - t0));
    }

    // 3. libcurl alone, 200 cold requests at once on one multi handle.
    double plainConcurrent = 0;
    {
        CURLM* multi = curl_multi_init();
        std::vector<CURL*> easies;
        auto t0 = Clock::now();
        for (int i = 0; i < kConcurrent; ++i) {
            CURL* e = curl_easy_init();
            setRequest(e, url, headers);
            curl_multi_add_handle(multi, e);
            easies.push_back(e);
        }
        int running = 1;
        while (running) {
            curl_multi_perform(multi, &running);
            if (running) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
        }
        plainConcurrent = ms(Clock::now() - t0);
        for (CURL* e : easies) {
            curl_multi_remove_handle(multi, e);
            curl_easy_cleanup(e);
        }
        curl_multi_cleanup(multi);
    }

    gobj::GlibMainQueue queue;
    common::Workers workers(queue, 2);
    auto sink = std::make_shared<TimingSink>(queue);
    auto secrets = std::make_shared<Secrets>(queue);
    auto* watch = reinterpret_cast<LoopWatch*>(g_source_new(&loopWatchFuncs, sizeof(LoopWatch)));
    watch->lastCheck = watch->longest = watch->lastSample = watch->lastCheckCpu = watch->longestCpu = 0;
    watch->peakThreads = 0;
    g_source_attach(&watch->source, nullptr);

    // 4. netRequest, sequential: command on the main thread to the __netReply task.
    std::vector<double> proxied;
    {
        auto access =
            std::make_shared<net::NetAccess>(std::make_shared<net::CurlHttpClient>(queue), sink, secrets, workers);
        for (int i = 0; i < kSequential + 50; ++i) {
            int want = sink->replies + 1;
            auto t0 = Clock::now();
            access->netRequest("r", url, requestMessage(url, i));
            while (sink->replies < want) g_main_context_iteration(nullptr, TRUE);
            if (i >= 50) proxied.push_back(ms(sink->last - t0));
        }
    }

    // 5. netRequest, 200 at once on a fresh client (cold connections).
    int threadsBefore = 0;
    double proxiedConcurrent = 0;
    double issueMs = 0;
    {
        auto access =
            std::make_shared<net::NetAccess>(std::make_shared<net::CurlHttpClient>(queue), sink, secrets, workers);
        threadsBefore = threadCount();
        watch->longest = watch->longestCpu = 0;
        watch->lastCheck = 0;
        watch->peakThreads = threadsBefore;
        int want = sink->replies + kConcurrent;
        auto t0 = Clock::now();
        for (int i = 0; i < kConcurrent; ++i) access->netRequest("c", url, requestMessage(url, i));
        issueMs = ms(Clock::now() - t0);
        while (sink->replies < want) g_main_context_iteration(nullptr, TRUE);
        proxiedConcurrent = ms(sink->last - t0);
    }
    int failures = sink->failures;

    // 6. A 30 MB image, five times in a row: refused at the limit, so peak memory grows once by
    // about the limit, not by the whole body each time.
    double rssBefore = rssMiB("VmHWM:"), nowBefore = rssMiB("VmRSS:");
    {
        auto access =
            std::make_shared<net::NetAccess>(std::make_shared<net::CurlHttpClient>(queue), sink, secrets, workers);
        for (int i = 0; i < 5; ++i) {
            int want = sink->images + 1;
            access->fetchImage("http://127.0.0.1:" + std::to_string(port) + "/big.png", "i");
            while (sink->images < want) g_main_context_iteration(nullptr, TRUE);
        }
    }
    double rssAfter = rssMiB("VmHWM:"), nowAfter = rssMiB("VmRSS:");

    close(quit[1]);  // the server's end of file
    waitpid(child, nullptr, 0);

    double plainMedian = percentile(plain, 0.5), plainP99 = percentile(plain, 0.99);
    double proxMedian = percentile(proxied, 0.5), proxP99 = percentile(proxied, 0.99);
    std::printf("Request proxy against a local HTTP server (127.0.0.1), POST with a small JSON body\n\n");
    std::printf("| measure                                             | median ms | p99 ms   |\n");
    std::printf("|-----------------------------------------------------|-----------|----------|\n");
    std::printf("| libcurl alone, reused handle, %4d sequential       | %9.3f | %8.3f |\n", kSequential, plainMedian,
                plainP99);
    std::printf("| netRequest → __netReply task, %4d sequential       | %9.3f | %8.3f |\n", kSequential, proxMedian,
                proxP99);
    std::printf("| added by netRequest (difference)                    | %9.3f | %8.3f |\n", proxMedian - plainMedian,
                proxP99 - plainP99);
    if (!program.empty())
        std::printf("| curl program, one process per request (%3zu runs)   | %9.3f | %8.3f |\n", program.size(),
                    percentile(program, 0.5), percentile(program, 0.99));
    std::printf("\n| %d requests at once (cold connections)             | value    |\n", kConcurrent);
    std::printf("|------------------------------------------------------|----------|\n");
    std::printf("| libcurl multi alone: all complete, ms                 | %8.2f |\n", plainConcurrent);
    std::printf("| netRequest: all __netReply tasks run, ms              | %8.2f |\n", proxiedConcurrent);
    std::printf("| threads in process before / peak during               | %3d / %-3d|\n", threadsBefore,
                watch->peakThreads);
    std::printf("| longest main-loop iteration (main thread busy), ms   | %8.2f |\n", watch->longest / 1000.0);
    std::printf("|   the same, main-thread CPU time only, ms             | %8.2f |\n", watch->longestCpu / 1000.0);
    std::printf("| main thread time to issue the %d netRequest calls, ms | %8.2f |\n", kConcurrent, issueMs);
    std::printf("| failed replies                                        | %8d |\n", failures);
    std::printf(
        "\nFive fetches of a 30 MB chunked image (each refused at 25 MiB):\n"
        "  peak RSS %.1f -> %.1f MiB (+%.1f), RSS now %.1f -> %.1f MiB (+%.1f)\n",
        rssBefore, rssAfter, rssAfter - rssBefore, nowBefore, nowAfter, nowAfter - nowBefore);

    g_source_destroy(&watch->source);
    g_source_unref(&watch->source);
    curl_slist_free_all(headers);
    return 0;
}
