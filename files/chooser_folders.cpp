// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/chooser_folders.h"

namespace files {
namespace {

const char* settingsKey(FileKind kind) {
    switch (kind) {
        case FileKind::Boards:
            return "folder-boards";
        case FileKind::Exports:
            return "folder-exports";
        case FileKind::Imports:
            break;
    }
    return "folder-imports";
}

}  // namespace

std::string folderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return path.substr(0, slash ? slash : 1);
}

std::string ChooserFolders::folderFor(FileKind kind) {
    auto stored = store_.get(settingsKey(kind));
    // Only an absolute folder is a place to start; anything else in the file is ignored.
    if (stored && !stored->empty() && stored->front() == '/') return *stored;
    return fallback_;
}

void ChooserFolders::used(FileKind kind, const std::string& path) {
    std::string folder = folderOf(path);
    if (folder.empty() || folder.front() != '/') return;
    if (store_.get(settingsKey(kind)) != folder) store_.set(settingsKey(kind), folder);
}

}  // namespace files
