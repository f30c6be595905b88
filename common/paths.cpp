// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace common::paths {
namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// XDG says relative values are invalid and must be ignored.
std::string absoluteOr(const char* name, const std::string& fallback) {
    std::string v = env(name);
    return !v.empty() && v[0] == '/' ? v : fallback;
}

}  // namespace

std::string home() {
    std::string h = env("HOME");
    if (!h.empty()) return h;
    if (const passwd* pw = getpwuid(getuid())) return pw->pw_dir;
    return "/";
}

std::string configHome() { return absoluteOr("XDG_CONFIG_HOME", home() + "/.config"); }
std::string dataHome() { return absoluteOr("XDG_DATA_HOME", home() + "/.local/share"); }
std::string runtimeDir() { return absoluteOr("XDG_RUNTIME_DIR", ""); }

std::string lastComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace common::paths
