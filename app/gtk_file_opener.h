// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// GApplication's "open" for the application: the files, as paths, go to the AppDelegate, which
// launches the window when needed and opens them once the page has loaded.
#include <gtk/gtk.h>

#include "app/app_delegate.h"

namespace app {

class FileOpener {
public:
    explicit FileOpener(AppDelegate& app) : app_(app) {}
    FileOpener(const FileOpener&) = delete;
    FileOpener& operator=(const FileOpener&) = delete;

    // Connected to the application's "open" signal with a FileOpener as user data.
    static void onOpen(GApplication* app, GFile** files, gint count, const gchar* hint, gpointer self) noexcept;
    // Nothing is held here any more: the delegate owns the opener and ends it with its Parts.
    void reset() {}

private:
    AppDelegate& app_;
};

}  // namespace app
