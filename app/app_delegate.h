// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The composition root: creates the real implementations, wires them, owns each Part as one member,
// and ends them in one written order (shutdown()).
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/gtk_page_watch.h"
#include "app/parts.h"
#include "bridge/bridge.h"
#include "common/quit_holds.h"
#include "common/workers.h"
#include "drop/gtk_drag_catch_view.h"
#include "files/chooser_folders.h"
#include "files/document_file.h"
#include "files/gtk_panels.h"
#include "gobj/glib_main_queue.h"
#include "gobj/glib_settings_store.h"
#include "gobj/gtk_desktop.h"
#include "gobj/handles.h"

namespace bridge {
class GtkParentWindow;
}

namespace app {

struct LaunchOptions {
    std::string resourcesDir;  // holds html/index.html
    bool inspector = false;
    bool watch = false;  // reload the page when a file under html/ changes
};

class AppDelegate {
public:
    AppDelegate(GtkApplication* app, LaunchOptions options);
    // Runs shutdown() if nothing did; then only releases what is already stopped.
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // The launch sequence: menu bar, bridge, web view and policies, window, page.
    void applicationDidFinishLaunching();

    // Every way of ending the application comes here (Quit, closing the window, the session).
    void requestQuit();
    // Ends the process's main loop without asking again, once no save is still in progress.
    void terminate();
    // Keeps terminate() waiting while the token lives (see common::QuitHolds).
    std::shared_ptr<void> holdQuit() { return quitHolds_->hold(); }
    // Boards and PDFs given from outside: launches the window when needed and opens them once the
    // page has loaded, after asking whether to save unsaved work.
    void open(std::vector<std::string> paths);

    // Ends everything in flight, in this order: stop accepting page messages (and drop page calls),
    // abandon renders (their helpers are killed), cancel network transfers, write the vault's queued
    // jobs without the keychain (a keychain call gets a short grace), stop the worker pools
    // (queued jobs are dropped), join them; then the menu bar and the window go. Nothing here waits
    // on work that was not told to end first. Main thread; once (later calls do nothing). Called
    // when quitting is decided, and by the application's shutdown for any other way out.
    void shutdown();
    bool isShutDown() const { return shutDown_; }

    // For tests: compose functions are given what they need by name, never this object.
    GtkApplication* application() const { return app_; }
    const LaunchOptions& options() const { return options_; }
    common::MainQueue& mainQueue() { return mainQueue_; }
    common::Workers& workers() { return *workers_; }
    common::Desktop& desktop() { return desktop_; }
    common::SettingsStore& settings() { return settings_; }
    const std::shared_ptr<bridge::Bridge>& bridge() const { return bridge_; }
    GtkWindow* window() const { return window_; }
    WebKitWebView* webView() const { return webView_; }
    TavrikDragCatchView* dragCatchView() const { return dragCatchView_; }
    std::string pagePath() const { return options_.resourcesDir + "/html/index.html"; }
    // The vault, as the request proxy reads it.
    std::shared_ptr<vault::SecretSource> secrets() const;
    // Rebuilds the file Part on other choosers (tests answer them without a desktop).
    void useFilePanels(std::shared_ptr<files::Panels> panels);
    // Replaces the quit Part with one on other wiring (see installQuitConfirmation).
    std::shared_ptr<QuitConfirmation> replaceQuit(QuitWiring wiring);

private:
    static gboolean onCloseRequest(GtkWindow* window, gpointer self) noexcept;
    void sizeWindowAroundContent();
    void onScriptMessage(JSCValue* value);
    QuitWiring launchQuitWiring();
    void pageWillNotCome(const std::string& why);

    GtkApplication* app_;
    bool windowSized_ = false;
    // The window's size and maximised state are kept in the settings once the kept one was given back.
    void keepWindowState();
    bool windowStateReady_ = false, keepPending_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    LaunchOptions options_;
    gobj::GlibMainQueue mainQueue_;
    std::unique_ptr<common::Workers> workers_;
    std::shared_ptr<common::QuitHolds> quitHolds_;
    gobj::GtkDesktop desktop_;
    gobj::GlibSettingsStore settings_;
    gobj::SignalConnection appShutdown_;
    std::shared_ptr<bridge::Bridge> bridge_;
    GtkWindow* window_ = nullptr;       // owned by GTK's toplevel list until destroyed
    WebKitWebView* webView_ = nullptr;  // owned by the drag-catch view
    TavrikDragCatchView* dragCatchView_ = nullptr;
    gobj::GRef<WebKitUserContentManager> contentManager_;
    gobj::SignalConnection scriptMessage_;
    bool shutDown_ = false;

    // The Parts, in the order the launch builds them; each is this object's alone.
    MenuPart menu_;
    std::shared_ptr<bridge::GtkParentWindow> parentWindow_;
    WebPolicyPart webPolicy_;
    VaultPart vault_;
    std::shared_ptr<files::SaveThen> saves_;  // outlives a rebuilt file Part
    std::shared_ptr<files::DocumentFile> document_ = std::make_shared<files::DocumentFile>();  // the board's file
    // Where the choosers start; the first time, the documents folder (or home).
    std::shared_ptr<files::ChooserFolders> folders_ =
        std::make_shared<files::ChooserFolders>(settings_, files::documentsFolder());
    FilesPart files_;
    RenderPart render_;
    NetPart net_;
    QuitPart quit_;
    OpenPart open_;
    std::unique_ptr<PageWatch> pageWatch_;   // with --watch only
    std::shared_ptr<QuitAlert> startAlert_;  // why the page could not be loaded, while shown
};

}  // namespace app
