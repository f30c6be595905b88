// SPDX-License-Identifier: GPL-3.0-or-later
// What one large non-streamed reply costs the shell: the real application (this build's tavrik
// binary) loads a page that asks for a body of N MiB from a loopback server through netRequest and
// reports the length of the text __netReply gave it. The table shows the shell's peak resident
// memory (VmHWM) against a run whose reply is empty, and the web process's peak beside it.
//
//   bash tests/gui-session.sh build/bench/bench_reply_size [MiB…]      (default: 16 32 100)
//
// TAVRIK_BENCH_BINARY names another tavrik binary to measure (an earlier build, for comparison).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/http_test_server.h"

namespace {

using testsupport::HttpTestServer;
using testsupport::ReceivedRequest;
using testsupport::ScriptedResponse;

// A figure from /proc/<pid>/status in MiB; 0 when it cannot be read.
double statusMiB(int pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + field.size()) / 1024.0;
    return 0;
}

// The shell's descendants named WebKitWebProcess (the page's process).
std::vector<int> webProcesses(int shell) {
    std::vector<int> out;
    for (int pid = 2; pid < 4194304; ++pid) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        if (!stat) continue;
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        auto close = text.rfind(')');
        if (close == std::string::npos || text.find("(WebKitWebProces") == std::string::npos) continue;
        int ppid = std::atoi(text.c_str() + close + 4);
        for (int up = ppid; up > 1;) {
            if (up == shell) {
                out.push_back(pid);
                break;
            }
            std::ifstream s("/proc/" + std::to_string(up) + "/stat");
            std::string t((std::istreambuf_iterator<char>(s)), {});
            auto c = t.rfind(')');
            up = c == std::string::npos ? 0 : std::atoi(t.c_str() + c + 4);
        }
    }
    return out;
}

// Text as an AI service answers: JSON lines with quotes and newlines the reply must escape.
std::string bodyOf(std::size_t bytes) {
    std::string body;
    body.reserve(bytes);
    const std::string line = R"({"choices":[{"delta":{"content":"The quick brown fox jumps over the lazy dog."}}]})"
                             "\n";
    while (body.size() + line.size() <= bytes) body += line;
    body.append(bytes - body.size(), 'x');
    return body;
}

struct Run {
    bool ok = false;
    long textLength = -1;
    double shellPeak = 0, webPeak = 0;
};

Run runOnce(std::size_t bytes) {
    Run run;
    std::string body = bodyOf(bytes);
    std::atomic<long> reported{-2};
    HttpTestServer server;
    server.handle([&](const ReceivedRequest& r) -> ScriptedResponse {
        if (r.target == "/body") return {200, {{"Content-Type", "application/json"}}, body};
        if (r.target.rfind("/done?", 0) == 0) reported = std::atol(r.target.c_str() + 6);
        return {200, {}, "ok"};
    });

    char folder[] = "/tmp/tavrik-bench-reply-XXXXXX";
    if (!mkdtemp(folder)) return run;
    std::string root = folder;
    std::system(("mkdir -p " + root + "/res/html " + root + "/data " + root + "/config " + root + "/cache").c_str());
    std::ofstream(root + "/res/html/index.html")
        << "<!doctype html><meta charset=utf-8><script>\n"
           "const post = (m) => window.webkit.messageHandlers.canvasBridge.postMessage(m);\n"
           "window.__netReply = (r) => {\n"
           "  if (r.reqId !== 'big') return;\n"
           "  const n = typeof r.text === 'string' ? r.text.length : -1;\n"
           "  post({action: 'netRequest', reqId: 'done', method: 'GET', url: '"
        << server.url("/done?")
        << "' + n});\n"
           "};\n"
           "addEventListener('load', () => setTimeout(() => post({action: 'netRequest', reqId: 'big', method: "
           "'GET', url: '"
        << server.url("/body") << "'}), 500));\n</script>\n";

    pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
        std::string res = root + "/res";
        const char* binary = std::getenv("TAVRIK_BENCH_BINARY");
        execl(binary ? binary : TAVRIK_BINARY, "tavrik", "--resources", res.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    double webPeak = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
    while (reported < -1 && std::chrono::steady_clock::now() < deadline) {
        for (int web : webProcesses(pid)) webPeak = std::max(webPeak, statusMiB(web, "VmHWM:"));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    run.textLength = reported;
    run.ok = reported == static_cast<long>(bytes);
    run.shellPeak = statusMiB(pid, "VmHWM:");
    for (int web : webProcesses(pid)) webPeak = std::max(webPeak, statusMiB(web, "VmHWM:"));
    run.webPeak = webPeak;
    kill(pid, SIGTERM);
    for (int i = 0; i < 50 && waitpid(pid, nullptr, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    std::system(("rm -rf " + root).c_str());
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<double> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atof(argv[i]));
    if (sizes.empty()) sizes = {16, 32, 100};

    Run base = runOnce(0);
    std::printf("one non-streamed netRequest reply through the real shell (peak = VmHWM)\n\n");
    std::printf("%10s  %8s  %15s  %15s  %18s  %15s\n", "reply MiB", "reached", "shell peak MiB", "shell +MiB",
                "shell + / reply", "web peak MiB");
    std::printf("%10.0f  %8s  %15.1f  %15s  %18s  %15.1f\n", 0.0, base.textLength == 0 ? "yes" : "no", base.shellPeak,
                "-", "-", base.webPeak);
    for (double mib : sizes) {
        auto bytes = static_cast<std::size_t>(mib * 1024 * 1024);
        Run r = runOnce(bytes);
        double added = r.shellPeak - base.shellPeak;
        std::printf("%10.0f  %8s  %15.1f  %15.1f  %17.2fx  %15.1f\n", mib, r.ok ? "yes" : "no", r.shellPeak, added,
                    added / mib, r.webPeak);
        if (!r.ok) std::printf("%10s  (no text: the shell answered ok:false)\n", "");
    }
    return 0;
}
