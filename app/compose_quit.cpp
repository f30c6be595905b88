#include "app/compose_quit.h"

#include <glib-unix.h>

#include <csignal>

#include "app/gtk_quit_alert.h"
#include "bridge/webkit_page_channel.h"
#include "menu/l10n.h"
#include "webpolicy/webkit_shell_ui.h"

namespace app {
namespace {

void runAfter(std::chrono::milliseconds delay, std::function<void()> task) {
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, static_cast<guint>(delay.count()),
        [](gpointer data) noexcept -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        new std::function<void()>(std::move(task)),
        [](gpointer data) noexcept { delete static_cast<std::function<void()>*>(data); });
}

bool showPageDialog() {
    GtkWindow* dialog = webpolicy::openPageDialog();
    if (dialog) gtk_window_present(dialog);
    return dialog != nullptr;
}

}  // namespace

// The signal handlers that lead to a quit request; removed with the quit Part.
struct QuitTriggers {
    gobj::SignalConnection queryEnd;
    gobj::SignalConnection crashed;
    gobj::SignalConnection loaded;
    guint sigterm = 0;
    guint sigint = 0;
    ~QuitTriggers() {
        for (guint source : {sigterm, sigint})
            if (source) g_source_remove(source);
    }
};

std::shared_ptr<QuitConfirmation> installQuitConfirmation(AppDelegate& app, QuitWiring wiring) {
    std::shared_ptr<bridge::PageChannel> page;
    if (app.webView()) page = std::make_shared<bridge::WebkitPageChannel>(app.webView());
    auto confirmation = std::make_shared<QuitConfirmation>(
        QuitConfirmation::Deps{app.mainQueue(), std::move(page), std::make_shared<GtkQuitAlert>(app.application()),
                               std::move(wiring.t), std::move(wiring.terminate), runAfter, showPageDialog},
        wiring.limits);
    app.quitHandler = [weak = std::weak_ptr(confirmation)] {
        if (auto c = weak.lock()) c->requestQuit();
    };

    auto triggers = std::make_shared<QuitTriggers>();
    using Weak = std::weak_ptr<QuitConfirmation>;
    // A crashed or killed web process cannot answer or save; quitting must not wait for it.
    if (WebKitWebView* view = app.webView()) {
        triggers->crashed = gobj::SignalConnection(
            view, g_signal_connect_data(
                      view, "web-process-terminated",
                      G_CALLBACK(+[](WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) noexcept {
                          if (auto c = static_cast<Weak*>(data)->lock()) c->pageTerminated();
                      }),
                      new Weak(confirmation),
                      [](gpointer data, GClosure*) noexcept { delete static_cast<Weak*>(data); }, GConnectFlags{}));
        triggers->loaded = gobj::SignalConnection(
            view,
            g_signal_connect_data(
                view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) noexcept {
                    if (event != WEBKIT_LOAD_COMMITTED) return;
                    if (auto c = static_cast<Weak*>(data)->lock()) c->pageRestarted();
                }),
                new Weak(confirmation), [](gpointer data, GClosure*) noexcept { delete static_cast<Weak*>(data); },
                GConnectFlags{}));
    }
    // The session ending (emitted when the application registered with the session manager) and
    // SIGTERM, which desktops send to end a session, ask like the Quit command.
    triggers->queryEnd = gobj::SignalConnection(
        app.application(),
        g_signal_connect(app.application(), "query-end", G_CALLBACK(+[](GtkApplication*, gpointer self) noexcept {
                             static_cast<AppDelegate*>(self)->requestQuit();
                         }),
                         &app));
    // Ctrl+C in the terminal that started it is the same request.
    auto onSignal = [](gpointer self) noexcept -> gboolean {
        static_cast<AppDelegate*>(self)->requestQuit();
        return G_SOURCE_CONTINUE;
    };
    triggers->sigterm = g_unix_signal_add(SIGTERM, onSignal, &app);
    triggers->sigint = g_unix_signal_add(SIGINT, onSignal, &app);
    app.setQuit({confirmation, triggers});
    return confirmation;
}

void composeQuit(AppDelegate& app) {
    QuitWiring wiring;
    wiring.t = [](const std::string& key) { return menu::L10N::t(key); };
    wiring.terminate = [&app] { app.terminate(); };
    installQuitConfirmation(app, std::move(wiring));
}

}  // namespace app
