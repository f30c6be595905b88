#pragma once
// GApplication's "open" for the application: launches the window when needed and hands the files
// to OpenFiles once the page has loaded.
#include <gtk/gtk.h>

#include <memory>

#include "app/app_delegate.h"
#include "app/open_files.h"

namespace app {

class FileOpener {
public:
    explicit FileOpener(AppDelegate& app) : app_(app) {}
    ~FileOpener() { reset(); }
    FileOpener(const FileOpener&) = delete;
    FileOpener& operator=(const FileOpener&) = delete;

    // Connected to the application's "open" signal with a FileOpener as user data.
    static void onOpen(GApplication* app, GFile** files, gint count, const gchar* hint, gpointer self) noexcept;
    // Lets go of the page before the application's Parts go away.
    void reset();

private:
    void open(std::vector<std::string> paths);
    void wire();

    AppDelegate& app_;
    std::shared_ptr<OpenFiles> opener_;
    gobj::SignalConnection loadChanged_;
};

}  // namespace app
