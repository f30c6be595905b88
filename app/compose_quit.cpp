#include "app/compose_quit.h"

#include <glib-unix.h>

#include <csignal>

#include "app/gtk_quit_alert.h"
#include "bridge/webkit_page_channel.h"
#include "files/file_exchange.h"
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

using Weak = std::weak_ptr<QuitConfirmation>;

void deleteWeak(gpointer data, GClosure*) noexcept { delete static_cast<Weak*>(data); }

}  // namespace

// The signal handlers that lead to a quit request; removed with the quit Part.
struct QuitTriggers {
    gobj::SignalConnection queryEnd;
    gobj::SignalConnection crashed;
    gobj::SignalConnection loaded;
    gobj::SignalConnection responsive;
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
    // The save choosers: a save at quit that the user cancels keeps the application running. Held
    // weakly: once the file Part is rebuilt, quitting falls back to waiting for any open chooser.
    std::shared_ptr<files::FileExchange> exchange = app.fileExchange();
    std::function<std::size_t()> savesInProgress;
    if (exchange)
        savesInProgress = [weak = std::weak_ptr(exchange)] {
            auto x = weak.lock();
            return x ? x->savesInProgress() : std::size_t{0};
        };
    auto confirmation = std::make_shared<QuitConfirmation>(
        QuitConfirmation::Deps{app.mainQueue(), std::move(page), std::make_shared<GtkQuitAlert>(app.application()),
                               std::move(wiring.t), std::move(wiring.terminate), runAfter, showPageDialog,
                               std::move(savesInProgress)},
        wiring.limits);
    if (exchange)
        exchange->setSaveObserver([weak = Weak(confirmation)](const files::SaveOutcome& outcome) {
            if (auto c = weak.lock()) c->saveSettled(outcome.ok());
        });
    app.quitHandler = [weak = Weak(confirmation)] {
        if (auto c = weak.lock()) c->requestQuit();
    };

    auto triggers = std::make_shared<QuitTriggers>();
    // A crashed or killed web process cannot answer or save; quitting must not wait for it.
    if (WebKitWebView* view = app.webView()) {
        triggers->crashed = gobj::SignalConnection(
            view, g_signal_connect_data(
                      view, "web-process-terminated",
                      G_CALLBACK(+[](WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) noexcept {
                          if (auto c = static_cast<Weak*>(data)->lock()) c->pageTerminated();
                      }),
                      new Weak(confirmation), deleteWeak, GConnectFlags{}));
        triggers->loaded = gobj::SignalConnection(
            view, g_signal_connect_data(view, "load-changed",
                                        G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) noexcept {
                                            if (event != WEBKIT_LOAD_COMMITTED) return;
                                            if (auto c = static_cast<Weak*>(data)->lock()) c->pageRestarted();
                                        }),
                                        new Weak(confirmation), deleteWeak, GConnectFlags{}));
        // The engine's own verdict comes late and misses a page busy inside an evaluation, so the
        // quit's timer decides; this only lets a page the engine has given up on be asked about sooner.
        triggers->responsive = gobj::SignalConnection(
            view, g_signal_connect_data(view, "notify::is-web-process-responsive",
                                        G_CALLBACK(+[](WebKitWebView* v, GParamSpec*, gpointer data) noexcept {
                                            if (webkit_web_view_get_is_web_process_responsive(v)) return;
                                            if (auto c = static_cast<Weak*>(data)->lock()) c->pageUnresponsive();
                                        }),
                                        new Weak(confirmation), deleteWeak, GConnectFlags{}));
    }
    // The session ending (emitted when the application registered with the session manager) and
    // SIGTERM, which desktops send to end a session, ask like the Quit command.
    triggers->queryEnd = gobj::SignalConnection(
        app.application(),
        g_signal_connect(app.application(), "query-end", G_CALLBACK(+[](GtkApplication*, gpointer self) noexcept {
                             static_cast<AppDelegate*>(self)->requestQuit();
                         }),
                         &app));
    // Ctrl+C in the terminal that started it is the same request. A second signal while an alert of
    // the quit is up ends the application without waiting for the user.
    auto onSignal = [](gpointer data) noexcept -> gboolean {
        if (auto c = static_cast<Weak*>(data)->lock()) c->insist();
        return G_SOURCE_CONTINUE;
    };
    auto dropWeak = [](gpointer data) noexcept { delete static_cast<Weak*>(data); };
    triggers->sigterm = g_unix_signal_add_full(G_PRIORITY_DEFAULT, SIGTERM, onSignal, new Weak(confirmation), dropWeak);
    triggers->sigint = g_unix_signal_add_full(G_PRIORITY_DEFAULT, SIGINT, onSignal, new Weak(confirmation), dropWeak);
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
