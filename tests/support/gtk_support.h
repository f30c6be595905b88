#pragma once
// In-process GTK/WebKit test support: a real shell on a temporary resources folder and temporary
// XDG folders, and waiting on conditions with a time limit (never sleeping).
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_delegate.h"

namespace testsupport {

// Iterates the default main context until done() or the limit; returns done().
bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20));

// A fresh temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& contents) const;  // creates parent folders

private:
    std::string path_;
};

// The labels of the installed menu bar's top-level menus.
std::vector<std::string> menuBarTitles(GtkApplication* app);

// Points XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_RUNTIME_DIR into one TempDir for the process.
void isolateXdg(const TempDir& dir);

// The whole application, launched in-process on a page of the test's own.
class Shell {
public:
    // pageHtml becomes <resources>/html/index.html; an empty string leaves the page missing.
    explicit Shell(const std::string& pageHtml);
    ~Shell();

    app::AppDelegate& app() { return *delegate_; }
    WebKitWebView* webView() { return delegate_->webView(); }
    GtkWindow* window() { return delegate_->window(); }
    const TempDir& resources() const { return resources_; }

    // Waits for the page's load to finish.
    bool waitLoaded();
    // Evaluates JavaScript and returns its result as a string (JSON.stringify is up to the caller).
    std::optional<std::string> eval(const std::string& script);
    // Waits until `script` evaluates to true.
    bool waitFor(const std::string& script, std::chrono::milliseconds limit = std::chrono::seconds(20));

private:
    TempDir xdg_;
    TempDir resources_;
    GtkApplication* gtkApp_ = nullptr;
    std::unique_ptr<app::AppDelegate> delegate_;
};

}  // namespace testsupport
