// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up of the shell against the least GTK 4 + WebKitGTK program that loads the same page:
// time from launch to the window, to the page's load and to the page's first command message,
// and peak memory, as the median of several launches taken in turn.
//
//   bench_startup [RUNS] [RESOURCES_DIR]      (run under a display: xvfb-run -a bench_startup)
//
// The shell side runs the application's own launch sequence (AppDelegate, as main() does) in a
// child process of this program; the baseline is bench_minimal_webview beside it.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "startup_probe.h"

namespace {

// ---- the shell, as main() starts it, with probes on its web view ----------------------------------

startup::Progress progress;

int runShell(const std::string& resources) {
    g_set_prgname("tavrik");
    g_set_application_name("TAVRIK");
    GtkApplication* gtkApp = gtk_application_new("org.tavrik.TavrikBench", G_APPLICATION_DEFAULT_FLAGS);
    app::LaunchOptions launch;
    launch.resourcesDir = resources;
    auto delegate = std::make_unique<app::AppDelegate>(gtkApp, launch);
    g_signal_connect(gtkApp, "activate", G_CALLBACK(+[](GApplication*, gpointer d) noexcept {
                         auto* app = static_cast<app::AppDelegate*>(d);
                         app->applicationDidFinishLaunching();
                         if (app->window() && gtk_widget_get_mapped(GTK_WIDGET(app->window())))
                             startup::report("window", startup::nowNs());
                         // A second listener beside the bridge's own: it only notes the time.
                         g_signal_connect(webkit_web_view_get_user_content_manager(app->webView()),
                                          "script-message-received::canvasBridge",
                                          G_CALLBACK(+[](WebKitUserContentManager*, JSCValue*, gpointer) noexcept {
                                              if (progress.messaged) return;
                                              progress.messaged = true;
                                              startup::report("message", startup::nowNs());
                                              progress.finishIfDone();
                                          }),
                                          nullptr);
                         g_signal_connect(app->webView(), "load-changed",
                                          G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent e, gpointer) noexcept {
                                              if (e != WEBKIT_LOAD_FINISHED || progress.loaded) return;
                                              progress.loaded = true;
                                              startup::report("load", startup::nowNs());
                                              progress.finishIfDone();
                                          }),
                                          nullptr);
                     }),
                     delegate.get());
    char* appArgv[] = {const_cast<char*>("tavrik"), nullptr};
    return g_application_run(G_APPLICATION(gtkApp), 1, appArgv);
}

// ---- the driver ------------------------------------------------------------------------------------

struct Launch {
    bool ok = false;
    std::map<std::string, double> ms;  // event → milliseconds after the launch
    double peakUiMb = 0, peakAllMb = 0;
};

Launch launchOnce(const std::vector<std::string>& argv) {
    Launch result;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    long long t0 = startup::nowNs();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::string out;
    char buf[4096];
    long long deadline = t0 + 60'000'000'000LL;
    while (startup::nowNs() < deadline) {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) continue;
        ssize_t n = read(pipeFds[0], buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    kill(pid, SIGKILL);  // a child that hung past the deadline; harmless when it has ended
    waitpid(pid, nullptr, 0);

    std::istringstream lines(out);
    std::string name;
    long long value = 0;
    while (lines >> name >> value) {
        if (name == "peak_ui_kb")
            result.peakUiMb = value / 1024.0;
        else if (name == "peak_all_kb")
            result.peakAllMb = value / 1024.0;
        else
            result.ms[name] = (value - t0) / 1e6;
    }
    result.ok = result.ms.count("load") && result.ms.count("message");
    return result;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc >= 3 && std::string(argv[1]) == "--shell") return runShell(argv[2]);

    int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 10;
    std::string resources = argc >= 3 ? argv[2] : TAVRIK_SOURCE_DIR;
    std::string page = resources + "/html/index.html";
    if (!fs::exists(page)) {
        std::fprintf(stderr, "no page at %s\n", page.c_str());
        return 2;
    }
    fs::path self = fs::read_symlink("/proc/self/exe");
    std::string minimal = (self.parent_path() / "bench_minimal_webview").string();
    if (!fs::exists(minimal)) {
        std::fprintf(stderr, "bench_minimal_webview is not built beside %s\n", self.c_str());
        return 2;
    }

    struct Series {
        const char* name;
        std::vector<std::string> argv;
        std::map<std::string, std::vector<double>> ms;
        std::vector<double> ui, all;
        int failed = 0;
    };
    std::vector<Series> series = {
        {"tavrik shell", {self.string(), "--shell", resources}, {}, {}, {}, 0},
        {"minimal GTK+WebKit", {minimal, page}, {}, {}, {}, 0},
    };
    // One warm-up launch each, so that neither side pays alone for a cold file cache.
    for (auto& s : series) launchOnce(s.argv);
    for (int i = 0; i < runs; ++i)
        for (auto& s : series) {
            Launch l = launchOnce(s.argv);
            if (!l.ok) {
                ++s.failed;
                continue;
            }
            for (auto& [k, v] : l.ms) s.ms[k].push_back(v);
            s.ui.push_back(l.peakUiMb);
            s.all.push_back(l.peakAllMb);
        }

    std::printf("Start-up, median of %d launches each, taken in turn; page %s\n\n", runs, page.c_str());
    std::printf("%-20s %12s %12s %16s %14s %16s %7s\n", "program", "window ms", "load ms", "first msg ms", "peak UI MB",
                "peak +web MB", "failed");
    for (auto& s : series)
        std::printf("%-20s %12.1f %12.1f %16.1f %14.1f %16.1f %7d\n", s.name, median(s.ms["window"]),
                    median(s.ms["load"]), median(s.ms["message"]), median(s.ui), median(s.all), s.failed);
    double shellMsg = median(series[0].ms["message"]), baseMsg = median(series[1].ms["message"]);
    double shellLoad = median(series[0].ms["load"]), baseLoad = median(series[1].ms["load"]);
    if (baseMsg > 0 && baseLoad > 0)
        std::printf("\nshell / minimal: load %+.1f %%, first message %+.1f %%\n", (shellLoad / baseLoad - 1) * 100,
                    (shellMsg / baseMsg - 1) * 100);
    return 0;
}
