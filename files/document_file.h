// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The board's own file: the one last opened or written as a board. Save writes there in place;
// Save As proposes its name and folder. Main thread only.
#include <functional>
#include <optional>
#include <string>

namespace files {

class DocumentFile {
public:
    const std::optional<std::string>& path() const { return path_; }
    // A board was opened from `path` or written to it.
    void set(std::string path) {
        path_ = std::move(path);
        if (used_) used_(*path_);
    }
    // The page holds a new, never saved board.
    void clear() { path_.reset(); }

    // Told of every set(): the recently used boards follow it.
    void setUsedObserver(std::function<void(const std::string&)> used) { used_ = std::move(used); }

private:
    std::optional<std::string> path_;
    std::function<void(const std::string&)> used_;
};

}  // namespace files
