// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The board's own file: the one last opened or written as a board. Save writes there in place;
// Save As proposes its name and folder. Main thread only.
#include <optional>
#include <string>

namespace files {

class DocumentFile {
public:
    const std::optional<std::string>& path() const { return path_; }
    // A board was opened from `path` or written to it.
    void set(std::string path) { path_ = std::move(path); }
    // The page holds a new, never saved board.
    void clear() { path_.reset(); }

private:
    std::optional<std::string> path_;
};

}  // namespace files
