// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the import bench measures and how it prints it: CPU time of the processes involved, and the
// table's rows with their spread.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace pdfimport {

inline double cpuOf(const rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000 +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000;
}

inline double cpuMs(int who) {
    rusage u{};
    getrusage(who, &u);
    return cpuOf(u);
}

// The web processes this program started (children named WebKitWebProcess), in CPU milliseconds.
inline double webProcessCpuMs() {
    double total = 0;
    long tick = sysconf(_SC_CLK_TCK);
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream in(entry.path() / "stat");
        std::string stat;
        if (!in || !std::getline(in, stat)) continue;
        auto open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        if (stat.substr(open + 1, close - open - 1).rfind("WebKitWebProces", 0) != 0) continue;
        std::istringstream rest(stat.substr(close + 2));
        std::string field;
        std::vector<std::string> f;
        while (rest >> field) f.push_back(field);
        if (f.size() < 13 || std::stol(f[1]) != getpid()) continue;
        total += (std::stod(f[11]) + std::stod(f[12])) * 1000.0 / static_cast<double>(tick);
    }
    return total;
}

struct Cpu {
    double main = 0, ui = 0, helpers = 0, web = 0;
    static Cpu now() { return {cpuMs(RUSAGE_THREAD), cpuMs(RUSAGE_SELF), cpuMs(RUSAGE_CHILDREN), webProcessCpuMs()}; }
    Cpu operator-(const Cpu& o) const { return {main - o.main, ui - o.ui, helpers - o.helpers, web - o.web}; }
};

inline double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline std::string spread(std::vector<double> v, const char* format) {
    if (v.empty()) return "-";
    auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    char buf[64];
    std::snprintf(buf, sizeof buf, format, *lo, *hi);
    return buf;
}

inline void row(const char* what, double value, const char* unit, const std::string& range, const char* goal) {
    std::printf("| %-52s | %9.2f %-5s | %-17s | %-22s |\n", what, value, unit, range.c_str(), goal);
}

}  // namespace pdfimport
