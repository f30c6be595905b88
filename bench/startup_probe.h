// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the start-up benchmark's child programs report on stdout, one "name value" line each:
// monotonic nanoseconds for events, kilobytes for memory.
#include <dirent.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace startup {

inline long long nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

inline void report(const char* name, long long value) {
    std::printf("%s %lld\n", name, value);
    std::fflush(stdout);
}

// A field of /proc/<pid>/status in kB ("VmHWM", "VmRSS"), 0 when unreadable.
inline long long statusKb(pid_t pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, field.size() + 1, field + ":") == 0) return std::atoll(line.c_str() + field.size() + 1);
    return 0;
}

inline pid_t parentOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("PPid:", 0) == 0) return std::atoi(line.c_str() + 5);
    return 0;
}

// Peak resident memory of this process and of every process it started (WebKit's web and
// network processes, and any sandbox wrappers around them).
inline long long peakKbWithDescendants() {
    std::vector<pid_t> family{getpid()};
    std::vector<pid_t> all;
    if (DIR* d = opendir("/proc")) {
        while (dirent* e = readdir(d))
            if (pid_t p = std::atoi(e->d_name); p > 0) all.push_back(p);
        closedir(d);
    }
    for (bool grew = true; grew;) {
        grew = false;
        for (pid_t p : all) {
            bool known = false;
            for (pid_t f : family) known = known || f == p;
            if (known) continue;
            pid_t parent = parentOf(p);
            for (pid_t f : family)
                if (parent == f) {
                    family.push_back(p);
                    grew = true;
                    break;
                }
        }
    }
    long long sum = 0;
    for (pid_t p : family) sum += statusKb(p, "VmHWM");
    return sum;
}

// Reports memory once both events have been seen, then ends the process at once: what happens
// after start-up is not measured.
struct Progress {
    bool loaded = false;
    bool messaged = false;
    void finishIfDone() {
        if (!loaded || !messaged) return;
        report("peak_ui_kb", statusKb(getpid(), "VmHWM"));
        report("peak_all_kb", peakKbWithDescendants());
        std::fflush(stdout);
        _exit(0);
    }
};

}  // namespace startup
