#include <memory>

#include "app/app_delegate.h"
#include "menu/gtk_menu_bar.h"
#include "menu/l10n.h"
#include "menu/main_menu.h"
#include "menu/webkit_page_language.h"
#include "menu/webkit_window_pages.h"

namespace app {
namespace {

// Built at launch step 1 and handed to the bridge a few steps later, within the same launch.
std::weak_ptr<menu::MainMenu> latestMenu;

// Takes the application's settings store back out of L10N when the application goes away.
struct StoreGuard {
    common::SettingsStore* store;
    ~StoreGuard() { menu::L10N::unsetStore(store); }
};

}  // namespace

void composeMenu(AppDelegate& app) {
    menu::L10N::setStore(&app.settings());
    app.keep(std::shared_ptr<StoreGuard>(new StoreGuard{&app.settings()}));

    auto menuRef = std::make_shared<std::weak_ptr<menu::MainMenu>>();
    menu::GtkMenuBarView::Handlers handlers;
    // A language choice rebuilds the menu bar; it runs after the menu event so the popover that
    // delivered the click is not torn down under it.
    handlers.menuAction = [menuRef, &queue = app.mainQueue()](int tag) {
        queue.post([menuRef, tag] {
            if (auto m = menuRef->lock()) m->menuAction(tag);
        });
    };
    handlers.about = [gtkApp = app.application()] { menu::showAboutDialog(gtkApp); };
    handlers.quit = [&app] { app.requestQuit(); };

    auto view = std::make_shared<menu::GtkMenuBarView>(app.application(), std::move(handlers));
    auto pages = std::make_shared<menu::WebkitWindowPages>(app.application());
    auto mainMenu = app.keep(std::make_shared<menu::MainMenu>(app.mainQueue(), view, pages));
    *menuRef = mainMenu;
    latestMenu = mainMenu;
    mainMenu->buildMenu();
}

void composeMenuCommands(AppDelegate& app) {
    if (auto m = latestMenu.lock(); m && app.bridge()) app.bridge()->handlers().menu = m;
    if (app.webView()) app.keep(std::make_shared<menu::WebkitPageLanguage>(app.webView()));
}

}  // namespace app
