// SPDX-License-Identifier: GPL-3.0-or-later
// Big boards in the application: boards of 10, 50 and 150 MB (notes, photos, imported PDF pages)
// opened from the command line and through File ▸ Open's chooser until the board is shown; Ctrl+S on the opened board
// until its file's write starts and until it is written in place; Ctrl+S on the same board without a file until the
// save chooser shows; and the memory of the shell's process and of its web process. Anchors, in the same run and on the
// same file: `cp` of the file, and a minimal GTK + WebKit program (bench_minimal_board_parse) whose page reads the file
// and JSON.parses it.
//
//   bash tests/gui-session.sh ./build/bench/bench_big_board [RUNS] [SIZES_MB…]   (default 3 runs; 10 50 150)
//
// Each launch is a process of its own with fresh settings and page storage; launches of the
// series are taken in turn, so that a busy machine slows all of them. The boards are generated
// once, deterministically, and kept beside this program.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "big_board_gen.h"
#include "big_board_shell.h"
#include "startup_probe.h"

namespace {

namespace fs = std::filesystem;
using startup::nowNs;

// ---- processes ------------------------------------------------------------------------------------

// Every process below `root` whose name starts with `prefix` (WebKit's web process is
// "WebKitWebProces", cut by the kernel).
std::vector<pid_t> descendants(pid_t root, const std::string& prefix = "") {
    std::map<pid_t, pid_t> parent;
    std::map<pid_t, std::string> name;
    for (const auto& e : fs::directory_iterator("/proc")) {
        pid_t p = std::atoi(e.path().filename().c_str());
        if (p <= 0) continue;
        std::ifstream in(e.path() / "stat");
        std::string stat;
        if (!std::getline(in, stat)) continue;
        auto open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        name[p] = stat.substr(open + 1, close - open - 1);
        std::istringstream rest(stat.substr(close + 2));
        std::string state;
        pid_t pp = 0;
        rest >> state >> pp;
        parent[p] = pp;
    }
    std::vector<pid_t> out;
    for (auto& [p, pp] : parent) {
        for (pid_t up = pp; up > 1; up = parent.count(up) ? parent[up] : 0)
            if (up == root) {
                if (name[p].rfind(prefix, 0) == 0) out.push_back(p);
                break;
            }
    }
    return out;
}

double mib(long long kb) { return static_cast<double>(kb) / 1024.0; }
double sizeMiB(const std::string& path) { return static_cast<double>(fs::file_size(path)) / (1024.0 * 1024.0); }

// A child with its stdin and stdout on pipes, reporting "name value" lines; a folder watched for
// the board's write (its temporary file appears: the write started; it is renamed onto the board:
// written).
struct Child {
    pid_t pid = -1;
    int in = -1, out = -1, watch = -1;
    std::string buffer, board;
    std::map<std::string, long long> events;
    long long started = 0;

    Child(const std::vector<std::string>& argv, const std::string& home, const std::string& watchDir = "",
          const std::string& boardName = "")
        : board(boardName) {
        int toChild[2], fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) return;
        if (!watchDir.empty()) {
            watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
            inotify_add_watch(watch, watchDir.c_str(), IN_CREATE | IN_MOVED_TO);
        }
        started = nowNs();
        pid = fork();
        if (pid == 0) {
            dup2(toChild[0], STDIN_FILENO);
            dup2(fromChild[1], STDOUT_FILENO);
            // Fresh settings, page storage and recovery copies for every launch.
            for (const char* dir : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
                std::string d = home + "/" + dir;
                fs::create_directories(d);
                setenv(dir, d.c_str(), 1);
            }
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        in = toChild[1];
        out = fromChild[0];
    }

    ~Child() {
        if (pid > 0) {
            auto family = descendants(pid);
            kill(pid, SIGKILL);
            for (pid_t p : family) kill(p, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        for (int fd : {in, out, watch})
            if (fd >= 0) close(fd);
    }

    void send(const std::string& line) {
        std::string l = line + "\n";
        if (write(in, l.data(), l.size()) < 0) std::fprintf(stderr, "the child is gone\n");
    }

    // Reads what is there, waiting up to `ms`; false once the child has closed its output.
    bool pump(int ms) {
        pollfd fds[2] = {{out, POLLIN, 0}, {watch, POLLIN, 0}};
        if (poll(fds, watch >= 0 ? 2 : 1, ms) <= 0) return true;
        long long at = nowNs();
        if (watch >= 0 && (fds[1].revents & POLLIN)) {
            alignas(inotify_event) char buf[4096];
            ssize_t n = read(watch, buf, sizeof buf);
            for (char* p = buf; n > 0 && p < buf + n;) {
                auto* e = reinterpret_cast<inotify_event*>(p);
                std::string name = e->len ? e->name : "";
                if ((e->mask & IN_CREATE) && name.find(".tavrik-") != std::string::npos)
                    events.emplace("write_start", at);
                if ((e->mask & IN_MOVED_TO) && name == board) events.emplace("written", at);
                p += sizeof(inotify_event) + e->len;
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buf[4096];
            ssize_t n = read(out, buf, sizeof buf);
            if (n <= 0) return false;
            buffer.append(buf, static_cast<std::size_t>(n));
            for (auto nl = buffer.find('\n'); nl != std::string::npos; nl = buffer.find('\n')) {
                std::istringstream line(buffer.substr(0, nl));
                buffer.erase(0, nl + 1);
                std::string name;
                long long value = 0;
                if (line >> name >> value) events.emplace(name, value);  // the first of each is kept
            }
        }
        return true;
    }

    bool waitFor(const std::string& name, double seconds) {
        long long end = nowNs() + static_cast<long long>(seconds * 1e9);
        while (!events.count(name) && nowNs() < end)
            if (!pump(100)) break;
        return events.count(name) > 0;
    }

    void idle(double seconds) {
        long long end = nowNs() + static_cast<long long>(seconds * 1e9);
        while (nowNs() < end && pump(50)) {
        }
    }

    double ms(const std::string& from, const std::string& to) const {
        auto a = from == "launch" ? started : events.count(from) ? events.at(from) : -1;
        auto b = events.count(to) ? events.at(to) : -1;
        return a < 0 || b < 0 ? -1 : static_cast<double>(b - a) / 1e6;
    }

    // The web process's memory (kB) now: its peak and resident size.
    std::pair<long long, long long> webMemory() const {
        long long hwm = 0, rss = 0;
        for (pid_t p : descendants(pid, "WebKitWebProces")) {
            hwm += startup::statusKb(p, "VmHWM");
            rss += startup::statusKb(p, "VmRSS");
        }
        return {hwm, rss};
    }
    long long own(const char* field) const { return startup::statusKb(pid, field); }
};

// ---- figures --------------------------------------------------------------------------------------

using Series = std::map<std::string, std::vector<double>>;

double median(std::vector<double> v) {
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return x < 0; }), v.end());
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string spread(std::vector<double> v) {
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return x < 0; }), v.end());
    if (v.size() < 2) return "";
    auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    char s[64];
    std::snprintf(s, sizeof s, *hi >= 100 ? "%.0f-%.0f" : "%.2f-%.2f", *lo, *hi);
    return s;
}

double runCp(const std::string& from, const std::string& to) {
    long long t0 = nowNs();
    pid_t pid = fork();
    if (pid == 0) {
        execlp("cp", "cp", from.c_str(), to.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status == 0 ? static_cast<double>(nowNs() - t0) / 1e6 : -1;
}

struct Bench {
    std::string self, minimal, resources, work;
    int launches = 0;

    std::string home() { return work + "/home-" + std::to_string(++launches); }

    // The shell with nothing opened: the resting memory its page starts at.
    void resting(Series& s) {
        Child shell({self, "--shell", resources}, home());
        if (!shell.waitFor("load", 60)) return;
        shell.idle(3);
        s["shell rest MiB"].push_back(mib(shell.own("VmRSS")));
        s["web rest MiB"].push_back(mib(shell.webMemory().second));
    }

    void one(const fs::path& source, Series& s) {
        std::string dir = work + "/boards";
        fs::create_directories(dir);
        std::string board = dir + "/" + source.filename().string();
        fs::remove(board);
        s["cp ms"].push_back(runCp(source, board));

        {
            Child anchor({minimal, board}, home());
            anchor.waitFor("peak_all_kb", 300);
            s["anchor read+parse ms"].push_back(anchor.ms("load", "parsed"));
            s["anchor handed+parse ms"].push_back(anchor.ms("parsed", "handed"));
            s["anchor launch->parsed ms"].push_back(anchor.ms("launch", "parsed"));
        }
        {
            Child shell({self, "--shell", resources, board}, home(), dir, source.filename().string());
            bool shown = shell.waitFor("shown", 300);
            double open = shell.ms("load", "shown");
            s["open ms"].push_back(shown ? open : -1);
            s["launch->shown ms"].push_back(shell.ms("launch", "shown"));
            s["stall ms"].push_back(shown && shell.events.count("stall_us") ? shell.events["stall_us"] / 1000.0 : -1);
            s["open/anchor x"].push_back(shown ? open / s["anchor read+parse ms"].back() : -1);
            auto [webPeak, webNow] = shell.webMemory();
            s["shell peak open MiB"].push_back(mib(shell.own("VmHWM")));
            s["web peak open MiB"].push_back(mib(webPeak));
            s["shell at load MiB"].push_back(shell.events.count("load_rss_kb") ? mib(shell.events["load_rss_kb"]) : -1);
            s["shell peak at load MiB"].push_back(shell.events.count("load_hwm_kb") ? mib(shell.events["load_hwm_kb"])
                                                                                    : -1);
            if (!shown) return;
            shell.idle(2);
            s["shell after open MiB"].push_back(mib(shell.own("VmRSS")));
            s["web after open MiB"].push_back(mib(shell.webMemory().second));
            shell.send("key");
            shell.waitFor("written", 300);
            shell.waitFor("handled_save", 10);
            s["key->write start ms"].push_back(shell.ms("key", "write_start"));
            s["key->written ms"].push_back(shell.ms("key", "written"));
            s["key->save handled ms"].push_back(shell.ms("key", "handled_save"));
            s["written/cp x"].push_back(shell.ms("key", "written") / s["cp ms"].back());
            shell.idle(1);
            s["shell peak save MiB"].push_back(mib(shell.own("VmHWM")));
            s["web peak save MiB"].push_back(mib(shell.webMemory().first));
        }
        {
            // File ▸ Open: the chooser accepts the board, until the board is shown.
            Child shell({self, "--shell", resources}, home());
            if (shell.waitFor("load", 60)) {
                shell.idle(0.5);
                shell.send("choose " + board);
                bool shown = shell.waitFor("shown", 300);
                double open = shell.ms("chosen", "shown");
                s["chooser open ms"].push_back(shown ? open : -1);
                s["chooser open/anchor x"].push_back(shown ? open / s["anchor read+parse ms"].back() : -1);
                // Above the level with the chooser shown, the peak counted from its accept on: its
                // own folder views are no part of the open.
                s["chooser shell peak above rest / size"].push_back(
                    shown && shell.events.count("chosen_rss_kb")
                        ? (mib(shell.own("VmHWM")) - mib(shell.events["chosen_rss_kb"])) / sizeMiB(board)
                        : -1);
            }
        }
        {
            Child shell({self, "--shell", resources}, home());
            if (!shell.waitFor("load", 60)) return;
            shell.idle(0.5);
            shell.send("inject " + board);
            if (!shell.waitFor("injected", 300)) return;
            shell.idle(1);
            shell.send("key");
            shell.waitFor("chooser", 300);
            s["key->chooser ms"].push_back(shell.ms("key", "chooser"));
        }
    }
};

void row(const char* what, const std::vector<Series>& bySize, const std::string& key, const char* goal = "") {
    std::printf("| %-38s |", what);
    for (const auto& s : bySize) {
        auto it = s.find(key);
        std::vector<double> v = it == s.end() ? std::vector<double>{} : it->second;
        double m = median(v);
        if (m < 0)
            std::printf(" %8s %-11s |", "-", "");
        else
            std::printf(m >= 100 ? " %8.0f %-11s |" : " %8.2f %-11s |", m, spread(v).c_str());
    }
    std::printf(" %-16s |\n", goal);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--shell")
        return bigshell::run(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    if (!std::getenv("DISPLAY")) {
        std::printf("needs an X display: bash tests/gui-session.sh %s\n", argv[0]);
        return 1;
    }
    int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {10, 50, 150};

    Bench bench;
    fs::path exe = fs::read_symlink("/proc/self/exe");
    bench.self = exe.string();
    bench.minimal = (exe.parent_path() / "bench_minimal_board_parse").string();
    bench.resources = TAVRIK_SOURCE_DIR;
    char tmpl[] = "/tmp/tavrik-bigboard-XXXXXX";
    bench.work = mkdtemp(tmpl);

    std::vector<fs::path> boards;
    for (int mb : sizes) {
        fs::path p = exe.parent_path() / ("big_board_v1_" + std::to_string(mb) + "mb.json");
        if (!fs::exists(p)) {
            std::fprintf(stderr, "generating %s\n", p.c_str());
            bigboard::writeBoard(p, static_cast<std::size_t>(mb) * 1000 * 1000);
        }
        boards.push_back(p);
    }
    std::vector<Series> bySize(sizes.size());
    Series rest;
    for (int r = 0; r < runs; ++r) {
        bench.resting(rest);
        for (std::size_t i = 0; i < boards.size(); ++i) {
            std::fprintf(stderr, "run %d, %d MB\n", r + 1, sizes[i]);
            bench.one(boards[i], bySize[i]);
        }
    }
    for (std::size_t i = 0; i < boards.size(); ++i) {
        double mb = static_cast<double>(fs::file_size(boards[i])) / (1024.0 * 1024.0);
        auto& s = bySize[i];
        for (std::size_t k = 0; k < s["shell peak open MiB"].size() && !rest["shell rest MiB"].empty(); ++k) {
            s["shell peak above rest / size"].push_back((s["shell peak open MiB"][k] - median(rest["shell rest MiB"])) /
                                                        mb);
            s["web peak above rest / size"].push_back((s["web peak open MiB"][k] - median(rest["web rest MiB"])) / mb);
        }
    }

    std::printf("Big boards, median [min-max] of %d runs; launches taken in turn; load average now ", runs);
    double load[1] = {0};
    getloadavg(load, 1);
    std::printf("%.1f on %ld cores\n", load[0], sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("Resting memory (nothing opened): shell %.0f MiB, web process %.0f MiB\n\n",
                median(rest["shell rest MiB"]), median(rest["web rest MiB"]));
    std::printf("| %-38s |", "board");
    for (std::size_t i = 0; i < boards.size(); ++i) {
        char head[32];
        std::snprintf(head, sizeof head, "%.1f MiB", static_cast<double>(fs::file_size(boards[i])) / 1048576.0);
        std::printf(" %-20s |", head);
    }
    std::printf(" %-16s |\n|%s|", "goal", std::string(40, '-').c_str());
    for (std::size_t i = 0; i < boards.size(); ++i) std::printf("%s|", std::string(22, '-').c_str());
    std::printf("%s|\n", std::string(18, '-').c_str());
    row("anchor: cp of the file, ms", bySize, "cp ms");
    row("anchor: minimal page XHR+parse, ms", bySize, "anchor read+parse ms");
    row("  minimal, read natively+parse, ms", bySize, "anchor handed+parse ms");
    row("  minimal, launch -> parsed, ms", bySize, "anchor launch->parsed ms");
    row("open (argv): load -> shown, ms", bySize, "open ms");
    row("  open / anchor", bySize, "open/anchor x", "<= 1.5");
    row("  launch -> shown, ms", bySize, "launch->shown ms");
    row("  shell main loop longest stall, ms", bySize, "stall ms");
    row("open (chooser): accepted -> shown, ms", bySize, "chooser open ms");
    row("  open / anchor", bySize, "chooser open/anchor x", "<= 1.5");
    row("  shell (peak - at accept) / size", bySize, "chooser shell peak above rest / size", "<= 2.5");
    row("Ctrl+S in place: -> write starts ms", bySize, "key->write start ms", "<= 300");
    row("  -> file written, ms", bySize, "key->written ms");
    row("  written / cp", bySize, "written/cp x");
    row("  -> shell handled saveJSON, ms", bySize, "key->save handled ms");
    row("Ctrl+S, no file: -> chooser, ms", bySize, "key->chooser ms", "<= 300");
    row("shell RSS at page load, MiB", bySize, "shell at load MiB");
    row("shell peak at page load, MiB", bySize, "shell peak at load MiB");
    row("shell peak, open, MiB", bySize, "shell peak open MiB");
    row("  (peak - rest) / board size", bySize, "shell peak above rest / size", "<= 2.5");
    row("shell after open, MiB", bySize, "shell after open MiB");
    row("shell peak incl. save, MiB", bySize, "shell peak save MiB");
    row("web peak, open, MiB", bySize, "web peak open MiB");
    row("  (peak - rest) / board size", bySize, "web peak above rest / size", "<= 2.5");
    row("web after open, MiB", bySize, "web after open MiB");
    row("web peak incl. save, MiB", bySize, "web peak save MiB");
    fs::remove_all(bench.work);
    return 0;
}
