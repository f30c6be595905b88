// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// In-process GTK/WebKit test support: a real shell on a temporary resources folder and temporary
// XDG folders, and waiting on conditions with a time limit (never sleeping).
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <chrono>
#include <cstdlib>
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

// A program started beside the test (xdotool, the application's own binary); its end is noticed
// while the main context runs. Ended with SIGKILL and reaped on destruction if still running.
class Program {
public:
    // argv[0] is looked up in PATH; env entries "NAME=value" are added to, or replace, the test's.
    explicit Program(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return pid_ > 0; }
    bool exited() const { return exited_; }
    bool succeeded() const { return exited_ && status_ == 0; }
    bool waitExit(std::chrono::milliseconds limit = std::chrono::seconds(20));
    void signal(int sig);

private:
    int pid_ = 0;
    unsigned watch_ = 0;
    bool exited_ = false;
    int status_ = -1;
};

// Runs a program to its end; true when it exited with status 0 within the limit.
bool runProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit = std::chrono::seconds(20));

// The labels of the installed menu bar's top-level menus.
std::vector<std::string> menuBarTitles(GtkApplication* app);

// Sets LANGUAGE while it lives, for a shell started meanwhile (the rest of the locale is left
// alone: LANGUAGE comes first); the earlier value comes back after.
class ScopedLanguage {
public:
    explicit ScopedLanguage(const char* value) {
        if (const char* v = std::getenv("LANGUAGE")) saved_ = v;
        setenv("LANGUAGE", value, 1);
    }
    ~ScopedLanguage() {
        if (saved_)
            setenv("LANGUAGE", saved_->c_str(), 1);
        else
            unsetenv("LANGUAGE");
    }
    ScopedLanguage(const ScopedLanguage&) = delete;
    ScopedLanguage& operator=(const ScopedLanguage&) = delete;

private:
    std::optional<std::string> saved_;
};

// Points XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_RUNTIME_DIR into one TempDir for the process.
void isolateXdg(const TempDir& dir);

// The whole application, launched in-process on a page of the test's own.
class Shell {
public:
    // pageHtml becomes <resources>/html/index.html; an empty string leaves the page missing.
    // settingsIni, when given, is the settings file an earlier run left (a start after a restart).
    explicit Shell(const std::string& pageHtml, const std::string& settingsIni = "");
    ~Shell();

    app::AppDelegate& app() { return *delegate_; }
    WebKitWebView* webView() { return delegate_->webView(); }
    GtkWindow* window() { return delegate_->window(); }
    const TempDir& resources() const { return resources_; }

    // The settings file as this run has written it so far ("" when none).
    std::string settingsIni() const;
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
