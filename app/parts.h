// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Parts of the application, each built by its compose function from the dependencies it names
// and owned by the AppDelegate alone. The bridge and every callback hold them weakly.
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/quit_confirmation.h"
#include "bridge/bridge.h"
#include "common/desktop.h"
#include "common/main_queue.h"
#include "common/settings_store.h"
#include "common/workers.h"
#include "drop/gtk_drag_catch_view.h"
#include "gobj/handles.h"
#include "vault/secret_source.h"

namespace menu {
class MainMenu;
class WebkitPageLanguage;
class RecentBoards;
}  // namespace menu
namespace webpolicy {
class WebkitNavGuard;
class WebkitShellUI;
}  // namespace webpolicy
namespace vault {
class VaultService;
class VaultCommandHandler;
}  // namespace vault
namespace files {
class Panels;
class FileExchange;
class SaveThen;
class DocumentFile;
class PdfRenderer;
}  // namespace files
namespace net {
class CurlHttpClient;
class NetAccess;
class KeyGate;
}  // namespace net

namespace app {

class OpenFiles;
struct QuitTriggers;

struct MenuPart {
    std::shared_ptr<menu::MainMenu> mainMenu;  // holds the menu bar view
    std::shared_ptr<menu::WebkitPageLanguage> pageLanguage;
    std::shared_ptr<menu::RecentBoards> recent;  // File ▸ Open Recent's boards
    common::SettingsStore* l10nStore = nullptr;
    // File ▸ New and Open Recent go through `opener` (which asks over unsaved work); every board
    // `document` is set to joins the recently used boards.
    void followBoards(const std::shared_ptr<OpenFiles>& opener, const std::shared_ptr<files::DocumentFile>& document);
    // Keeps the main page in the menus' language: gives the web view the user's preferred
    // languages and tells every page it loads the stored choice. Before the first load.
    void followInPage(WebKitWebView* view, std::weak_ptr<bridge::PageSink> page);
    // Takes the menu bar down while the application is still registered, and the settings store
    // back out of L10N.
    void shutdown();
};
// Built before any window exists. `requestQuit` is what the Quit item does; the menu's page calls
// reach the main page, `mainView`, through `page`.
MenuPart composeMenu(GtkApplication* app, common::MainQueue& mainQueue, common::SettingsStore& settings,
                     std::function<void()> requestQuit, WebKitWebView* mainView,
                     const std::shared_ptr<bridge::Bridge>& page);

struct WebPolicyPart {
    std::shared_ptr<webpolicy::WebkitNavGuard> navGuard;
    std::shared_ptr<webpolicy::WebkitShellUI> shellUI;
};
// On the new web view, before its page loads. `desktop` outlives the Part.
WebPolicyPart composeWebPolicy(WebKitWebView* view, const std::string& resourcesDir, common::Desktop& desktop);

struct VaultPart {
    // At shutdown the queued vault jobs still run, against the file and journal alone: a key the
    // page stored is not lost, and a keychain that does not answer holds nobody.
    std::shared_ptr<vault::VaultService> service;
    std::shared_ptr<vault::VaultCommandHandler> commands;
};
// Reads the vault file once; the keychain is not contacted until a command needs it.
VaultPart composeVault(common::MainQueue& mainQueue, const std::shared_ptr<bridge::Bridge>& bridge);

struct FilesPart {
    std::shared_ptr<files::FileExchange> exchange;
    // A board the page was sending in pieces is given up when the page reloads or its process ends.
    gobj::SignalConnection loadChanged, terminated;
};
// `desktop` and `workers` outlive the Part; `holdQuit` keeps the quit waiting while a save runs;
// `saves` hears of every save (it outlives a rebuilt Part: the quit and the opener follow it).
FilesPart composeFiles(std::shared_ptr<files::Panels> panels, const std::shared_ptr<bridge::Bridge>& bridge,
                       WebKitWebView* webView, common::Desktop& desktop, common::Workers& workers,
                       std::function<std::shared_ptr<void>()> holdQuit, const std::shared_ptr<files::SaveThen>& saves,
                       std::shared_ptr<files::DocumentFile> document);

struct RenderPart {
    // A render request mostly waits on its helper processes' pipes: it gets threads of its own, so
    // that two renders never keep PDF exports waiting on the shared pool.
    std::unique_ptr<common::Workers> waiters;
    std::shared_ptr<files::PdfRenderer> renderer;
    std::shared_ptr<std::atomic<bool>> abandon;
    // Requests in flight kill their helpers and return within one poll slice.
    void abandonRenders();
};
RenderPart composeRender(common::MainQueue& mainQueue, const std::shared_ptr<bridge::Bridge>& bridge);

struct NetPart {
    std::shared_ptr<net::CurlHttpClient> client;
    std::shared_ptr<net::KeyGate> keys;  // asks before a key goes to an origin it is not bound to
    std::shared_ptr<net::NetAccess> access;
};
// `secrets` may be null (no credential is then available); `workers` outlives the Part. The key
// question is a dialog on the main window of `app`.
NetPart composeNet(GtkApplication* app, common::MainQueue& mainQueue, const std::shared_ptr<bridge::Bridge>& bridge,
                   std::shared_ptr<vault::SecretSource> secrets, common::Workers& workers);

// The drag-catch view's beep; drags of files, links and text for a page that asks for them with
// the command "acceptFileDrops", and the clipboard's files and picture on paste for one that posts
// "acceptPasteItems" (each until its next load); the command "copyImage". `desktop` outlives the view.
void composeDrop(TavrikDragCatchView* view, WebKitWebView* webView, const std::shared_ptr<bridge::Bridge>& bridge,
                 common::Desktop& desktop);

struct QuitPart {
    std::shared_ptr<QuitConfirmation> confirmation;
    std::shared_ptr<QuitTriggers> triggers;  // the signal and session hooks that lead to it
};
struct QuitWiring {
    Translate t;
    std::function<void()> terminate;  // ends the application; called at most once
    QuitConfirmation::Limits limits;
};
struct QuitDeps {
    GtkApplication* app;
    WebKitWebView* webView;  // null: no page to follow
    common::MainQueue& mainQueue;
    std::shared_ptr<bridge::PageSink> page;  // null: nothing to ask, quitting is at once
    std::shared_ptr<files::SaveThen> saves;  // null: no save is waited for
    QuitWiring wiring;
};
// The one path every way of ending takes: the Quit command, closing the window, the session
// ending, SIGTERM and SIGINT.
QuitPart composeQuit(QuitDeps deps);

struct OpenPart {
    std::shared_ptr<OpenFiles> files;
    gobj::SignalConnection loadChanged;  // tells it when the page is ready
};
// Boards and PDFs given from outside the window open in the page, after asking whether to save
// unsaved work (and saving it through `saves`). Files are read on `workers`, which outlive the Part.
OpenPart composeOpen(GtkApplication* app, WebKitWebView* webView, const std::shared_ptr<bridge::Bridge>& page,
                     std::shared_ptr<files::SaveThen> saves, std::shared_ptr<files::DocumentFile> document,
                     common::Workers& workers);

}  // namespace app
