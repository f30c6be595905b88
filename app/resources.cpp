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

}  // namespace app
