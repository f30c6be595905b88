// SPDX-License-Identifier: GPL-3.0-or-later
// Time from SIGTERM to the end of the real application (the quit path: the page is asked, answers
// "nothing unsaved", the shell shuts down, the process exits), with proxied requests in flight to a
// loopback server that never finishes its responses, and with the keyring answering or paused
// while the page stores a key at the last moment.
//
//   xvfb-run -a bash tests/keyring/run.sh build/bench/bench_shutdown [RUNS]
//
// Without a Secret Service on the session bus (run without tests/keyring/run.sh) only the request
// table is printed.
#include <fcntl.h>
#include <gio/gio.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/secret_service.h"
#include "support/stream_test_server.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Folder {
    std::string path;
    Folder() {
        char pattern[] = "/tmp/tavrik-bench-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// The page: stores one key, says it is ready once that is done, sends `requests` requests, and
// stores a second key as it answers the quit.
std::string page(const std::string& origin, int requests) {
    return R"(<!doctype html><meta charset="utf-8"><title>bench</title><script>
const post = (m) => window.webkit.messageHandlers.canvasBridge.postMessage(m);
window.__vaultReply = (r) => {
  if (r.reqId !== 'e') return;
  post({action: 'netRequest', reqId: 'ready', url: ')" +
           origin + R"(/ready'});
  for (let i = 0; i < )" +
           std::to_string(requests) + R"(; ++i)
    post({action: 'netRequest', reqId: 'r' + i, url: ')" +
           origin + R"(/slow', body: '{"q":1}', auth: {keyId: 'bench-early', scheme: 'bearer'}});
};
post({action: 'vaultSet', reqId: 'e', keyId: 'bench-early', value: 'sk-bench-early-0123'});
window.__quitHasContentU = () => {
  post({action: 'vaultSet', reqId: 'l', keyId: 'bench-late', value: 'sk-bench-late-4567'});
  return false;
};
</script>)";
}

bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
    auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// One launch: the application on `html`, ready once the server has seen `requests` slow requests
// and the ready ping; then `beforeQuit`, SIGTERM, and the time to its end (negative on a failure).
double oneRun(int requests, bool keyring, const std::function<void()>& beforeQuit,
              const std::function<void()>& afterQuit) {
    testsupport::StreamTestServer server;
    std::atomic<int> slow{0}, ready{0};
    server.handle([&](testsupport::StreamTestServer::Exchange& x) {
        if (x.target == "/ready") {
            x.sendHead(200, {"Content-Length: 2"});
            x.send("ok");
            ++ready;
            return;
        }
        if (!x.sendHead(200) || !x.send("{\"partial\":")) return;
        ++slow;
        x.waitForClose(std::chrono::minutes(2));
    });
    Folder resources, home;
    fs::create_directories(resources.path + "/html");
    std::ofstream(resources.path + "/html/index.html") << page(server.url(""), requests);
    for (const char* sub : {"config", "data", "runtime"}) fs::create_directories(home.path + "/" + sub);
    fs::permissions(home.path + "/runtime", fs::perms::owner_all, fs::perm_options::replace);

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        auto named = [&](const char* name) { return entry.rfind(name, 0) == 0; };
        if (named("XDG_CONFIG_HOME=") || named("XDG_DATA_HOME=") || named("XDG_RUNTIME_DIR=") ||
            (!keyring && named("DBUS_SESSION_BUS_ADDRESS=")))
            continue;
        env.push_back(entry);
    }
    env.push_back("XDG_CONFIG_HOME=" + home.path + "/config");
    env.push_back("XDG_DATA_HOME=" + home.path + "/data");
    env.push_back("XDG_RUNTIME_DIR=" + home.path + "/runtime");
    // Without the keyring: no session bus at all, so nothing waits on a desktop portal.
    if (!keyring) env.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + home.path + "/no-bus");
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string binary = TAVRIK_BINARY;
    const char* argv[] = {binary.c_str(), "--resources", resources.path.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, binary.c_str(), &actions, nullptr, const_cast<char**>(argv), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));

    double took = -1;
    if (waitFor([&] { return ready > 0 && slow == requests; }, std::chrono::seconds(90))) {
        beforeQuit();
        auto asked = Clock::now();
        kill(pid, SIGTERM);
        pollfd p{pidfd, POLLIN, 0};
        if (poll(&p, 1, 30'000) == 1) took = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
        afterQuit();
    }
    kill(pid, SIGKILL);  // harmless once it has ended
    int status = 0;
    waitpid(pid, &status, 0);
    close(pidfd);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) took = -1;
    return took;
}

void row(const char* label, std::vector<double> ms) {
    bool failed = std::any_of(ms.begin(), ms.end(), [](double v) { return v < 0; });
    std::sort(ms.begin(), ms.end());
    if (failed || ms.empty()) {
        std::printf("| %-34s | %12s | %10s |\n", label, "failed", "");
        return;
    }
    std::printf("| %-34s | %12.0f | %10.0f |\n", label, ms[ms.size() / 2], ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "run under a display (xvfb-run -a)\n");
        return 2;
    }
    auto nothing = [] {};
    std::printf("SIGTERM to process exit, %d runs each (ms)\n\n", runs);
    std::printf("| %-34s | %12s | %10s |\n", "requests in flight", "median", "max");
    std::printf("|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(14, '-').c_str(),
                std::string(12, '-').c_str());
    for (int requests : {0, 20, 200}) {
        std::vector<double> ms;
        for (int i = 0; i < runs; ++i) ms.push_back(oneRun(requests, false, nothing, nothing));
        row(std::to_string(requests).c_str(), ms);
    }

    pid_t daemon = testsupport::secretServicePid();
    if (daemon <= 0) return 0;
    std::printf("\n| %-34s | %12s | %10s |\n", "keyring, a key stored at quit", "median", "max");
    std::printf("|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(14, '-').c_str(),
                std::string(12, '-').c_str());
    for (bool stalled : {false, true}) {
        std::vector<double> ms;
        for (int i = 0; i < runs; ++i)
            ms.push_back(oneRun(
                0, true,
                [&] {
                    if (stalled) kill(daemon, SIGSTOP);
                },
                [&] {
                    if (stalled) kill(daemon, SIGCONT);
                }));
        row(stalled ? "paused (SIGSTOP)" : "answering", ms);
    }
    return 0;
}
