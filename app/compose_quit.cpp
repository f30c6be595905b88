// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/compose_quit.h"

#include <csignal>

#include "app/gtk_quit_alert.h"
#include "app/page_crash.h"
#include "files/save_then.h"
#include "gobj/connect.h"
#include "gobj/glib_timer.h"
#include "webpolicy/webkit_shell_ui.h"

namespace app {
namespace {

bool showPageDialog() {
    GtkWindow* dialog = webpolicy::openPageDialog();
    if (dialog) gtk_window_present(dialog);
    return dialog != nullptr;
}

using Weak = std::weak_ptr<QuitConfirmation>;

// The alert on a dead page, reloading it in the same view and quitting the ordinary way.
std::shared_ptr<PageCrash> composeCrash(GtkApplication* app, WebKitWebView* view,
                                        const std::shared_ptr<QuitConfirmation>& confirmation, Translate t) {
    Weak weak(confirmation);
    PageCrash::Deps deps;
    deps.alert = std::make_shared<GtkQuitAlert>(app);
    deps.t = std::move(t);
    deps.reload = [view = std::make_shared<gobj::Weak<WebKitWebView>>(view)] {
        if (auto v = view->lock()) webkit_web_view_reload(v.get());
    };
    deps.quit = [weak] {
        if (auto c = weak.lock()) c->requestQuit();
    };
    deps.quitInProgress = [weak] {
        auto c = weak.lock();
        return c && c->state() != QuitConfirmation::State::Idle;
    };
    deps.now = [] { return std::chrono::steady_clock::now(); };
    return std::make_shared<PageCrash>(std::move(deps));
}

}  // namespace

// The signal handlers that lead to a quit request; removed with the quit Part.
struct QuitTriggers {
    gobj::SignalConnection queryEnd;
    gobj::SignalConnection crashed;
    gobj::SignalConnection crashShown;
    gobj::SignalConnection crashLoaded;
    std::shared_ptr<PageCrash> crash;
    gobj::SignalConnection loaded;
    gobj::SignalConnection responsive;
    gobj::SourceHandle sigterm;
    gobj::SourceHandle sigint;
};

QuitPart composeQuit(QuitDeps deps) {
    Translate t = deps.wiring.t;
    std::function<std::size_t()> savesInProgress;
    if (deps.saves)
        savesInProgress = [weak = std::weak_ptr(deps.saves)] {
            auto s = weak.lock();
            return s ? s->inProgress() : std::size_t{0};
        };
    auto confirmation = std::make_shared<QuitConfirmation>(
        QuitConfirmation::Deps{deps.mainQueue, std::move(deps.page), std::make_shared<GtkQuitAlert>(deps.app),
                               std::move(deps.wiring.t), std::move(deps.wiring.terminate), gobj::runAfter,
                               showPageDialog, std::move(savesInProgress)},
        deps.wiring.limits);
    // A save at quit ends the quit once the page has taken the report of how it ended.
    if (deps.saves)
        deps.saves->setSettledObserver([weak = Weak(confirmation)](const files::SaveOutcome& outcome) {
            if (auto c = weak.lock()) c->saveSettled(outcome.ok());
        });

    auto triggers = std::make_shared<QuitTriggers>();
    // A crashed or killed web process cannot answer or save; quitting must not wait for it.
    if (WebKitWebView* view = deps.webView) {
        triggers->crashed = gobj::connect<WebKitWebView, WebKitWebProcessTerminationReason>(
            view, "web-process-terminated", Weak(confirmation),
            [](QuitConfirmation& c, WebKitWebView*, WebKitWebProcessTerminationReason) { c.pageTerminated(); });
        triggers->loaded = gobj::connect<WebKitWebView, WebKitLoadEvent>(
            view, "load-changed", Weak(confirmation), [](QuitConfirmation& c, WebKitWebView*, WebKitLoadEvent event) {
                if (event == WEBKIT_LOAD_COMMITTED) c.pageRestarted();
            });
        triggers->crash = composeCrash(deps.app, view, confirmation, std::move(t));
        triggers->crashShown = gobj::connect<WebKitWebView, WebKitWebProcessTerminationReason>(
            view, "web-process-terminated", std::weak_ptr(triggers->crash),
            [](PageCrash& c, WebKitWebView*, WebKitWebProcessTerminationReason reason) {
                // Only a caller of webkit_web_view_terminate_web_process ends it on purpose; the
                // memory limit loses the page like a crash.
                c.terminated(reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API ? PageEnd::ByTheShell : PageEnd::Crashed);
            });
        triggers->crashLoaded =
            gobj::connect<WebKitWebView, WebKitLoadEvent>(view, "load-changed", std::weak_ptr(triggers->crash),
                                                          [](PageCrash& c, WebKitWebView*, WebKitLoadEvent event) {
                                                              if (event == WEBKIT_LOAD_COMMITTED) c.pageLoaded();
                                                          });
        // The engine's own verdict comes late and misses a page busy inside an evaluation, so the
        // quit's timer decides; this only lets a page the engine has given up on be asked about sooner.
        triggers->responsive =
            gobj::connect<WebKitWebView, GParamSpec*>(view, "notify::is-web-process-responsive", Weak(confirmation),
                                                      [](QuitConfirmation& c, WebKitWebView* v, GParamSpec*) {
                                                          if (!webkit_web_view_get_is_web_process_responsive(v))
                                                              c.pageUnresponsive();
                                                      });
    }
    // The session ending (emitted when the application registered with the session manager) and
    // SIGTERM, which desktops send to end a session, ask like the Quit command.
    triggers->queryEnd = gobj::connect<GtkApplication>(deps.app, "query-end", Weak(confirmation),
                                                       [](QuitConfirmation& c, GtkApplication*) { c.requestQuit(); });
    // Ctrl+C in the terminal that started it is the same request. A second signal while an alert of
    // the quit is up ends the application without waiting for the user.
    auto insist = [](QuitConfirmation& c) { c.insist(); };
    triggers->sigterm = gobj::onUnixSignal(SIGTERM, Weak(confirmation), insist);
    triggers->sigint = gobj::onUnixSignal(SIGINT, Weak(confirmation), insist);
    return {confirmation, triggers};
}

std::shared_ptr<QuitConfirmation> installQuitConfirmation(AppDelegate& app, QuitWiring wiring) {
    return app.replaceQuit(std::move(wiring));
}

}  // namespace app
