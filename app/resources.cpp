// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/resources.h"

#include <unistd.h>

#include <filesystem>

namespace app {
namespace fs = std::filesystem;

std::string defaultResourcesDir() {
    std::error_code ec;
    fs::path exeDir = fs::read_symlink("/proc/self/exe", ec).parent_path();
    auto hasPage = [](const fs::path& dir) {
        std::error_code e;
        return fs::is_regular_file(dir / "html" / "index.html", e);
    };
    if (!ec && exeDir == fs::path(TAVRIK_BUILD_DIR) && hasPage(TAVRIK_SOURCE_DIR)) return TAVRIK_SOURCE_DIR;
    if (!ec) {
        fs::path installed = exeDir.parent_path() / "share" / "tavrik";
        if (hasPage(installed)) return installed.string();
    }
    if (hasPage(TAVRIK_DATA_DIR)) return TAVRIK_DATA_DIR;
    return TAVRIK_SOURCE_DIR;
}

std::string absoluteResourcesDir(const std::string& given, const std::string& home, const std::string& cwd) {
    fs::path path;
    if (given == "~")
        path = home;
    else if (given.rfind("~/", 0) == 0)
        path = fs::path(home) / given.substr(2);
    else
        path = given;
    if (path.is_relative()) path = fs::path(cwd) / path;
    path = path.lexically_normal();
    // "dir/" keeps a trailing separator through normalisation; the page path is built with "/html/…".
    std::string out = path.string();
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

}  // namespace app
