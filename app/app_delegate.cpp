#include "app/app_delegate.h"

#include <glib/gstdio.h>

#include <algorithm>

#include "bridge/gtk_parent_window.h"
#include "bridge/webkit_page_channel.h"
#include "bridge/webkit_script_message.h"

namespace app {

namespace {
constexpr int kWidth = 1280, kHeight = 820, kMinWidth = 900, kMinHeight = 600;
}  // namespace

AppDelegate::AppDelegate(GtkApplication* app, LaunchOptions options)
    : app_(app),
      options_(std::move(options)),
      workers_(std::make_unique<common::Workers>(mainQueue_)),
      quitHolds_(std::make_shared<common::QuitHolds>([app] { g_application_quit(G_APPLICATION(app)); })) {
    quitHandler = [this] { terminate(); };
}

AppDelegate::~AppDelegate() {
    // Background jobs finish before the queue and the Parts they report to go away.
    workers_.reset();
    scriptMessage_.reset();
    if (window_) gtk_window_destroy(window_);
    for (gpointer* p : {reinterpret_cast<gpointer*>(&window_), reinterpret_cast<gpointer*>(&webView_),
                        reinterpret_cast<gpointer*>(&dragCatchView_)})
        if (*p) g_object_remove_weak_pointer(G_OBJECT(*p), p);
}

void AppDelegate::applicationDidFinishLaunching() {
    if (window_) {  // a second activation only brings the window back
        gtk_window_present(window_);
        return;
    }
    composeMenu(*this);

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
    if (options_.inspector) webkit_settings_set_enable_developer_extras(webkit_web_view_get_settings(webView_), TRUE);

    bridge_ = std::make_shared<bridge::Bridge>(mainQueue_, std::make_shared<bridge::WebkitPageChannel>(webView_));
    bridge_->handlers().window = std::make_shared<bridge::GtkParentWindow>(app_);

    composeMenuCommands(*this);
    composeWebPolicy(*this);

    window_ = GTK_WINDOW(gtk_application_window_new(app_));
    gtk_window_set_title(window_, "TAVRIK");
    g_signal_connect(window_, "close-request", G_CALLBACK(onCloseRequest), this);

    dragCatchView_ = TAVRIK_DRAG_CATCH_VIEW(drop::dragCatchViewNew());
    drop::dragCatchViewSetChild(dragCatchView_, GTK_WIDGET(webView_));
    drop::dragCatchViewSetOnItems(dragCatchView_, [weak = std::weak_ptr(bridge_)](json::Array items) {
        if (auto b = weak.lock()) b->sendToPage(std::move(items));
    });
    gtk_window_set_child(window_, GTK_WIDGET(dragCatchView_));
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

    composeVault(*this);
    composeFiles(*this);
    composeRender(*this);
    composeNet(*this);
    composeDrop(*this);
    composeQuit(*this);

    gtk_window_present(window_);

    // A missing page leaves an empty window that keeps running.
    std::string page = pagePath();
    if (g_file_test(page.c_str(), G_FILE_TEST_IS_REGULAR)) {
        g_autofree char* uri = g_filename_to_uri(page.c_str(), nullptr, nullptr);
        if (uri) webkit_web_view_load_uri(webView_, uri);
    }
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
}

void AppDelegate::onScriptMessage(JSCValue* value) {
    if (bridge_) bridge_->receive(bridge::fromJsc(value));
}

gboolean AppDelegate::onCloseRequest(GtkWindow*, gpointer self) noexcept {
    // The window stays until the quit confirmation has decided; then the application ends.
    static_cast<AppDelegate*>(self)->requestQuit();
    return TRUE;
}

void AppDelegate::requestQuit() {
    if (quitHandler)
        quitHandler();
    else
        terminate();
}

void AppDelegate::terminate() { quitHolds_->requestQuit(); }

}  // namespace app
