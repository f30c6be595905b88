#pragma once
// The composition root: creates the real implementations, wires them, and owns them for the life
// of the process.
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bridge/bridge.h"
#include "common/quit_holds.h"
#include "common/workers.h"
#include "drop/gtk_drag_catch_view.h"
#include "gobj/glib_main_queue.h"
#include "gobj/glib_settings_store.h"
#include "gobj/gtk_desktop.h"
#include "gobj/handles.h"
#include "vault/secret_source.h"

namespace app {

struct LaunchOptions {
    std::string resourcesDir;  // holds html/index.html
    bool inspector = false;
};

class AppDelegate {
public:
    AppDelegate(GtkApplication* app, LaunchOptions options);
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
    // Installed by the quit confirmation; the default quits at once.
    std::function<void()> quitHandler;

    // Shared services, for the compose functions and tests.
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

    // The vault's secrets, for the request proxy (set by the vault's composition).
    std::shared_ptr<vault::SecretSource> secrets;

    // Keeps a Part's objects alive as long as the application.
    template <class T>
    std::shared_ptr<T> keep(std::shared_ptr<T> part) {
        parts_.push_back(part);
        return part;
    }

private:
    static gboolean onCloseRequest(GtkWindow* window, gpointer self) noexcept;
    void sizeWindowAroundContent();
    void onScriptMessage(JSCValue* value);

    GtkApplication* app_;
    bool windowSized_ = false;
    LaunchOptions options_;
    gobj::GlibMainQueue mainQueue_;
    std::unique_ptr<common::Workers> workers_;
    std::shared_ptr<common::QuitHolds> quitHolds_;
    gobj::GtkDesktop desktop_;
    gobj::GlibSettingsStore settings_;
    std::shared_ptr<bridge::Bridge> bridge_;
    GtkWindow* window_ = nullptr;       // owned by GTK's toplevel list until destroyed
    WebKitWebView* webView_ = nullptr;  // owned by the drag-catch view
    TavrikDragCatchView* dragCatchView_ = nullptr;
    gobj::GRef<WebKitUserContentManager> contentManager_;
    gobj::SignalConnection scriptMessage_;
    std::vector<std::shared_ptr<void>> parts_;
};

// Each Part's wiring, one file each, called by the launch sequence in this order.
void composeMenu(AppDelegate& app);          // before any window exists: builds the menu bar
void composeMenuCommands(AppDelegate& app);  // the bridge's menuState / langChanged handlers
void composeWebPolicy(AppDelegate& app);     // navigation guard and script dialogs, on the new web view
void composeVault(AppDelegate& app);
void composeFiles(AppDelegate& app);
void composeRender(AppDelegate& app);
void composeNet(AppDelegate& app);
void composeDrop(AppDelegate& app);
void composeQuit(AppDelegate& app);

}  // namespace app
