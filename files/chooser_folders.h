// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where each kind of chooser starts: the folder last used for that kind of file, kept across
// starts in the settings; the first time, the fallback (the user's documents folder, or home).
#include <string>

#include "common/settings_store.h"

namespace files {

enum class FileKind { Boards, Exports, Imports };

class ChooserFolders {
public:
    // The store outlives this object.
    ChooserFolders(common::SettingsStore& store, std::string fallback)
        : store_(store), fallback_(std::move(fallback)) {}

    std::string folderFor(FileKind kind);
    // A file of this kind was chosen at `path`: its folder is where the next chooser starts.
    void used(FileKind kind, const std::string& path);

private:
    common::SettingsStore& store_;
    std::string fallback_;
};

// The folder part of a path: "/a/b" for "/a/b/c.json", "/" for "/c.json", "" for a bare name.
std::string folderOf(const std::string& path);

}  // namespace files
