// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// For page developers (--watch): reloads the page when a file under its html folder changes, once
// per burst of changes, so that a save from the editor shows in the window without touching it.
#include <webkit/webkit.h>

#include <chrono>
#include <map>
#include <string>

#include "gobj/handles.h"

namespace app {

class PageWatch {
public:
    // Watches `folder` and every folder under it, also those made later. A change is a file written
    // to its end, made, removed or moved; names starting with "." or ending with "~" (editors'
    // swap and backup files) are no change. `view` reloads `quiet` after the last change of a burst.
    PageWatch(WebKitWebView* view, const std::string& folder,
              std::chrono::milliseconds quiet = std::chrono::milliseconds(200));
    ~PageWatch();
    PageWatch(const PageWatch&) = delete;
    PageWatch& operator=(const PageWatch&) = delete;

    // How many folders are watched (for tests).
    std::size_t folders() const { return monitors_.size(); }

private:
    struct Monitor {
        gobj::GRef<GFileMonitor> monitor;
        gobj::SignalConnection changed;  // after the monitor it watches
    };

    void watchTree(GFile* folder);
    void onChanged(GFile* file, GFileMonitorEvent event);
    void reload();

    gobj::Weak<WebKitWebView> view_;
    std::chrono::milliseconds quiet_;
    std::map<std::string, Monitor> monitors_;  // by folder path
    guint timer_ = 0;
};

}  // namespace app
