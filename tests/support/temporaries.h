// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a folder holds after a write, for tests that a write leaves no temporary file behind.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "files/file_io.h"

namespace testsupport {

// The names in `folder`, sorted.
inline std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// How many of them are a write's temporary files.
inline int temporariesIn(const std::string& folder) {
    int n = 0;
    for (const auto& name : namesIn(folder)) n += files::isTemporaryName(name);
    return n;
}

}  // namespace testsupport
