// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The boards the user opened or saved lately, kept where the desktop keeps its recently used files,
// so that the file manager and other applications see them too. Main thread.
#include <functional>
#include <string>
#include <vector>

namespace menu {

class RecentBoards {
public:
    virtual ~RecentBoards() = default;
    // This application's boards that are still there, most recently used first, at most `limit`.
    virtual std::vector<std::string> list(std::size_t limit) = 0;
    // A board was opened from `path` or written to it.
    virtual void add(const std::string& path) = 0;
    // Forgets this application's boards; other applications' recent files stay.
    virtual void clear() = 0;
    // Told, later and on the main thread, whenever the list may have changed (by us or by another
    // program); replaces an earlier observer.
    virtual void setChangedObserver(std::function<void()> changed) = 0;
};

// What the menu shows for each path: the file's name, and where two share a name, its folder's too.
std::vector<std::string> recentTitles(const std::vector<std::string>& paths);

}  // namespace menu
