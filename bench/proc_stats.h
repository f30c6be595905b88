// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the benchmarks read about their own process from /proc.
#include <dirent.h>

#include <cstdio>
#include <cstring>

// A memory figure from /proc/self/status ("VmRSS:", "VmHWM:"), in MiB; 0 when it cannot be read.
inline double rssMiB(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, std::strlen(field)) == 0 &&
            std::sscanf(line + std::strlen(field), " %ld", &kb) == 1)
            break;
    std::fclose(f);
    return static_cast<double>(kb) / 1024.0;
}

// The process's threads right now.
inline int threadCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}
