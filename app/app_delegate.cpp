// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_delegate.h"

#include <glib/gstdio.h>

#include <algorithm>
#include <chrono>

#include "app/gtk_gl_probe.h"
#include "app/gtk_quit_alert.h"
#include "app/open_files.h"
#include "app/quit_confirmation.h"
#include "app/window_state.h"
#include "bridge/gtk_parent_window.h"
#include "bridge/webkit_page_channel.h"
#include "bridge/webkit_script_message.h"
#include "common/log.h"
#include "files/file_exchange.h"
#include "files/gtk_panels.h"
#include "files/pdf_renderer.h"
#include "files/save_then.h"
#include "gobj/glib_timer.h"
#include "menu/l10n.h"
#include "menu/main_menu.h"
#include "net/curl_http_client.h"
#include "net/net_access.h"
#include "vault/vault_commands.h"
#include "webpolicy/webkit_nav_guard.h"
#include "webpolicy/webkit_read_access.h"
#include "webpolicy/webkit_shell_ui.h"

namespace app {

namespace {
constexpr int kWidth = 1280, kHeight = 820, kMinWidth = 900, kMinHeight = 600;
// How long a keychain call in flight at shutdown may still finish; the rest of the second is for
// everything else.
constexpr auto kKeychainGrace = std::chrono::milliseconds(250);
}  // namespace

AppDelegate::AppDelegate(GtkApplication* app, LaunchOptions options)
    : app_(app),
      options_(std::move(options)),
      workers_(std::make_unique<common::Workers>(mainQueue_)),
      quitHolds_(std::make_shared<common::QuitHolds>([this] {
          shutdown();
          g_application_quit(G_APPLICATION(app_));
      })) {
    // Any other way the main loop ends (the session ending it, a test) still ends the Parts while
    // the application is registered.
    appShutdown_ = gobj::SignalConnection(
        app_, g_signal_connect(app_, "shutdown", G_CALLBACK(+[](GApplication*, gpointer self) noexcept {
                                   static_cast<AppDelegate*>(self)->shutdown();
                               }),
                               this));
}

AppDelegate::~AppDelegate() {
    shutdown();
    appShutdown_.reset();
    for (gpointer* p : {reinterpret_cast<gpointer*>(&window_), reinterpret_cast<gpointer*>(&webView_),
                        reinterpret_cast<gpointer*>(&dragCatchView_)})
        if (*p) g_object_remove_weak_pointer(G_OBJECT(*p), p);
}

void AppDelegate::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    common::log::debug("shutting down");
    // 1. No page message is taken and no page call is sent from here on.
    scriptMessage_.reset();
    open_ = {};
    if (bridge_) bridge_->close();
    // 2. Renders end their helpers; their threads return within one poll slice.
    render_.abandonRenders();
    // 3. Transfers in flight are dropped without an answer.
    if (net_.client) net_.client->shutdown();
    // The vault writes what the page queued to its file and journal, without the keychain.
    if (vault_.service) vault_.service->shutdown(kKeychainGrace);
    // 4. and 5. The pools drop what has not started and are joined.
    if (render_.waiters) render_.waiters->shutdown();
    workers_->shutdown();
    // The menu bar must go while the application is still registered.
    menu_.shutdown();
    if (window_) gtk_window_destroy(window_);
    common::log::debug("shut down");
}

void AppDelegate::applicationDidFinishLaunching() {
    if (shutDown_) return;
    if (window_) {  // a second activation only brings the window back
        gtk_window_present(window_);
        return;
    }
    contentManager_ = gobj::adopt(webkit_user_content_manager_new());
    webkit_user_content_manager_register_script_message_handler(contentManager_.get(), "canvasBridge", nullptr);
    scriptMessage_ = gobj::SignalConnection(
        contentManager_.get(),
        g_signal_connect(contentManager_.get(), "script-message-received::canvasBridge",
                         G_CALLBACK(+[](WebKitUserContentManager*, JSCValue* value, gpointer self) noexcept {
                             static_cast<AppDelegate*>(self)->onScriptMessage(value);
                         }),
                         this));

    webView_ =
        WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", contentManager_.get(), nullptr));
    WebKitSettings* webSettings = webkit_web_view_get_settings(webView_);
    if (options_.inspector) webkit_settings_set_enable_developer_extras(webSettings, TRUE);
    // The page's scripts are ES modules (html/bridge.js and those that import it), which WebKit
    // fetches in CORS mode: without this a file: page is an origin of its own and every module is
    // refused. What the page reads stays confined to its html folder by the read-access rules,
    // which every load passes, modules and fetches alike.
    webkit_settings_set_allow_file_access_from_file_urls(webSettings, TRUE);
    // Compositing on a CPU-drawn OpenGL costs the web process far more per frame than plain painting,
    // and GTK's own OpenGL drawing of the window costs the shell about a millisecond more per
    // imported page than cairo's.
    if (GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(webView_)); openGlIsSoftware(display)) {
        webkit_settings_set_hardware_acceleration_policy(webSettings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
        drawWithCairo(display);
    }

    // Every page call of every Part goes through the bridge, in one order.
    bridge_ = std::make_shared<bridge::Bridge>(mainQueue_, std::make_shared<bridge::WebkitPageChannel>(webView_));
    // The menu bar is set before any window exists.
    menu_ = composeMenu(
        app_, mainQueue_, settings_, [this] { requestQuit(); }, webView_, bridge_);
    parentWindow_ = std::make_shared<bridge::GtkParentWindow>(app_);
    bridge::addWindowCommands(bridge_->commands(), parentWindow_);
    bridge::addMenuCommands(bridge_->commands(), menu_.mainMenu);
    menu_.followInPage(webView_, bridge_);

    webPolicy_ = composeWebPolicy(webView_, options_.resourcesDir, desktop_);
    if (options_.watch) pageWatch_ = std::make_unique<PageWatch>(webView_, options_.resourcesDir + "/html");

    window_ = GTK_WINDOW(gtk_application_window_new(app_));
    gtk_window_set_title(window_, "TAVRIK");
    g_signal_connect(window_, "close-request", G_CALLBACK(onCloseRequest), this);
    for (const char* change : {"notify::default-width", "notify::default-height", "notify::maximized"})
        g_signal_connect(window_, change, G_CALLBACK(+[](GObject*, GParamSpec*, gpointer self) noexcept {
                             static_cast<AppDelegate*>(self)->keepWindowState();
                         }),
                         this);

    dragCatchView_ = TAVRIK_DRAG_CATCH_VIEW(drop::dragCatchViewNew());
    drop::dragCatchViewSetChild(dragCatchView_, GTK_WIDGET(webView_));
    drop::dragCatchViewSetOnItems(dragCatchView_, [weak = std::weak_ptr(bridge_)](json::Array items) {
        if (auto b = weak.lock()) b->sendToPage(std::move(items));
    });
    gtk_window_set_child(window_, GTK_WIDGET(dragCatchView_));
    drop::dragCatchViewLabelWidgets(dragCatchView_, app_, [](const std::string& key) { return menu::L10N::t(key); });
    gtk_widget_set_size_request(GTK_WIDGET(dragCatchView_), kMinWidth, kMinHeight);
    gtk_window_set_default_size(window_, kWidth, kHeight);
    // The menu bar only joins the window when it is realized; the first size is set then.
    g_signal_connect_after(window_, "realize", G_CALLBACK(+[](GtkWidget*, gpointer self) noexcept {
                               static_cast<AppDelegate*>(self)->sizeWindowAroundContent();
                           }),
                           this);
    // GTK owns these; the pointers turn null when they are destroyed.
    g_object_add_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
    g_object_add_weak_pointer(G_OBJECT(webView_), reinterpret_cast<gpointer*>(&webView_));
    g_object_add_weak_pointer(G_OBJECT(dragCatchView_), reinterpret_cast<gpointer*>(&dragCatchView_));

    vault_ = composeVault(mainQueue_, bridge_);
    saves_ = std::make_shared<files::SaveThen>(bridge_, gobj::runAfter);
    files_ = composeFiles(
        std::make_shared<files::GtkPanels>(app_), bridge_, webView_, desktop_, *workers_, [this] { return holdQuit(); },
        saves_, document_);
    files_.exchange->setFolders(folders_);
    render_ = composeRender(mainQueue_, bridge_);
    net_ = composeNet(app_, mainQueue_, bridge_, vault_.service, *workers_);
    composeDrop(dragCatchView_, webView_, bridge_, desktop_);
    quit_ = composeQuit({app_, webView_, mainQueue_, bridge_, saves_, launchQuitWiring()});
    open_ = composeOpen(app_, webView_, bridge_, saves_, document_, *workers_);
    menu_.followBoards(open_.files, document_);

    gtk_window_present(window_);

    // A missing page leaves an empty window that keeps running. The page loads once its read
    // access is confined to the html folder.
    std::string page = pagePath();
    g_autofree char* uri =
        g_file_test(page.c_str(), G_FILE_TEST_IS_REGULAR) ? g_filename_to_uri(page.c_str(), nullptr, nullptr) : nullptr;
    webpolicy::confineToHtmlFolder(
        contentManager_.get(), options_.resourcesDir,
        [view = std::make_shared<gobj::Weak<WebKitWebView>>(webView_), uri = std::string(uri ? uri : ""),
         weak = std::weak_ptr<bool>(alive_), this](bool confined, const std::string& why) {
            if (!weak.lock()) return;
            if (!confined) return pageWillNotCome(why);
            if (auto v = view->lock(); v && !uri.empty()) webkit_web_view_load_uri(v.get(), uri.c_str());
        });
}

// A page that may not be loaded would leave a blank window that answers nothing: the user is told
// why, and the application ends once the alert is answered.
void AppDelegate::pageWillNotCome(const std::string& why) {
    auto t = [](const std::string& key) { return menu::L10N::t(key); };
    webpolicy::AlertContent content;
    content.message = t("画板无法显示");
    content.detail = why;
    content.buttons = {t("退出")};
    content.closeAnswer = 0;
    content.warning = true;
    startAlert_ = std::make_shared<GtkQuitAlert>(app_);
    // The application ends after the alert has gone: a window destroyed under its own answer
    // leaves GTK touching a parent that is gone.
    startAlert_->show(content, [weak = std::weak_ptr<bool>(alive_), this](std::size_t) {
        gobj::runAfter(std::chrono::milliseconds(0), [weak, this] {
            if (weak.lock()) terminate();
        });
    });
}

void AppDelegate::sizeWindowAroundContent() {
    if (windowSized_) return;  // a window realized again keeps the size the user gave it
    windowSized_ = true;
    // The sizes are the web view's: the menu bar comes on top of them, not out of them.
    int windowMinW = 0, windowMinH = 0;
    gtk_widget_measure(GTK_WIDGET(window_), GTK_ORIENTATION_HORIZONTAL, -1, &windowMinW, nullptr, nullptr, nullptr);
    gtk_widget_measure(GTK_WIDGET(window_), GTK_ORIENTATION_VERTICAL, -1, &windowMinH, nullptr, nullptr, nullptr);
    gtk_window_set_default_size(window_, kWidth + std::max(0, windowMinW - kMinWidth),
                                kHeight + std::max(0, windowMinH - kMinHeight));
    // The size kept last time, where it fits the monitor the window is on now.
    auto kept = readWindowState(settings_);
    GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(window_));
    GdkMonitor* monitor = kept && surface
                              ? gdk_display_get_monitor_at_surface(gtk_widget_get_display(GTK_WIDGET(window_)), surface)
                              : nullptr;
    GdkRectangle area{};
    if (monitor) gdk_monitor_get_geometry(monitor, &area);
    if (monitor && fitsMonitor(*kept, area.width, area.height, windowMinW, windowMinH)) {
        gtk_window_set_default_size(window_, kept->width, kept->height);
        if (kept->maximized) gtk_window_maximize(window_);
    }
    windowStateReady_ = true;
}

void AppDelegate::keepWindowState() {
    if (!windowStateReady_ || !window_ || keepPending_) return;
    // A resize by hand changes the size many times a second: the settings are written once it rests.
    keepPending_ = true;
    gobj::runAfter(std::chrono::milliseconds(300), [weak = std::weak_ptr<bool>(alive_), this] {
        if (!weak.lock()) return;
        keepPending_ = false;
        if (!window_) return;
        int width = 0, height = 0;
        gtk_window_get_default_size(window_, &width, &height);  // the size it has when not maximised
        if (width > 0 && height > 0)
            writeWindowState(settings_, {width, height, static_cast<bool>(gtk_window_is_maximized(window_))});
    });
}

void AppDelegate::useFilePanels(std::shared_ptr<files::Panels> panels) {
    files_ = composeFiles(
        std::move(panels), bridge_, webView_, desktop_, *workers_, [this] { return holdQuit(); }, saves_, document_);
    files_.exchange->setFolders(folders_);
}

QuitWiring AppDelegate::launchQuitWiring() {
    QuitWiring wiring;
    wiring.t = [](const std::string& key) { return menu::L10N::t(key); };
    wiring.terminate = [this] { terminate(); };
    return wiring;
}

std::shared_ptr<QuitConfirmation> AppDelegate::replaceQuit(QuitWiring wiring) {
    quit_ = {};  // the old triggers go before the new ones are connected
    quit_ = composeQuit({app_, webView_, mainQueue_, bridge_, saves_, std::move(wiring)});
    return quit_.confirmation;
}

void AppDelegate::open(std::vector<std::string> paths) {
    // Opened files come with no "activate": the window is made here, or brought to the front.
    applicationDidFinishLaunching();
    if (open_.files) open_.files->open(std::move(paths));
}

std::shared_ptr<vault::SecretSource> AppDelegate::secrets() const { return vault_.service; }

void AppDelegate::onScriptMessage(JSCValue* value) {
    if (bridge_) bridge_->receive(bridge::fromJsc(value));
}

gboolean AppDelegate::onCloseRequest(GtkWindow*, gpointer self) noexcept {
    // The window stays until the quit confirmation has decided; then the application ends.
    static_cast<AppDelegate*>(self)->requestQuit();
    return TRUE;
}

void AppDelegate::requestQuit() {
    if (shutDown_) return;
    if (quit_.confirmation)
        quit_.confirmation->requestQuit();
    else
        terminate();
}

void AppDelegate::terminate() { quitHolds_->requestQuit(); }

}  // namespace app
