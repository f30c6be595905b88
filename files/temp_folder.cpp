// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/temp_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/paths.h"

namespace files {
namespace {

// A folder we own, not a link, that nobody else can enter; tightened when it is ours but looser.
bool isPrivateFolder(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
    if ((st.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) return false;
    return true;
}

}  // namespace

std::optional<std::string> privateTempRoot() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) return std::string(runtime);
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    std::string root = base + "/tavrik-" + std::to_string(getuid());
    // mkdir never follows a link planted at the name; the checks below catch anything else there.
    if (mkdir(root.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
    if (!isPrivateFolder(root)) return std::nullopt;
    return root;
}

std::optional<std::string> openedFilesFolder() {
    auto root = privateTempRoot();
    if (!root) return std::nullopt;
    std::string folder = *root + "/QuillmarshFiles";
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    return folder;
}

std::string openedFileName(const std::string& name) {
    std::string last = common::paths::lastComponent(name);
    if (last.empty() || last == "." || last == ".." || last.find('\0') != std::string::npos) return "file";
    return last;
}

std::string fileUri(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : path) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                     c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

}  // namespace files
