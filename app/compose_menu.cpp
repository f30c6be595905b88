// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>

#include "app/open_files.h"
#include "app/parts.h"
#include "files/document_file.h"
#include "menu/gtk_about_dialog.h"
#include "menu/gtk_menu_bar.h"
#include "menu/gtk_recent_boards.h"
#include "menu/l10n.h"
#include "menu/main_menu.h"
#include "menu/webkit_page_language.h"
#include "menu/webkit_window_pages.h"

namespace app {

MenuPart composeMenu(GtkApplication* app, common::MainQueue& mainQueue, common::SettingsStore& settings,
                     std::function<void()> requestQuit, WebKitWebView* mainView,
                     const std::shared_ptr<bridge::Bridge>& page) {
    MenuPart part;
    menu::L10N::setStore(&settings);
    part.l10nStore = &settings;

    auto menuRef = std::make_shared<std::weak_ptr<menu::MainMenu>>();
    menu::GtkMenuBarView::Handlers handlers;
    // A language choice rebuilds the menu bar, and Quit may take it down: both run after the menu
    // event, so the popover and action that delivered the click are not torn down under it.
    handlers.menuAction = [menuRef, &mainQueue](int tag) {
        mainQueue.post([menuRef, tag] {
            if (auto m = menuRef->lock()) m->menuAction(tag);
        });
    };
    handlers.about = [app] { menu::showAboutDialog(app); };
    handlers.quit = [&mainQueue, requestQuit = std::move(requestQuit)] { mainQueue.post(requestQuit); };

    auto view = std::make_shared<menu::GtkMenuBarView>(app, std::move(handlers));
    auto pages = std::make_shared<menu::WebkitWindowPages>(app, mainView, std::weak_ptr<bridge::PageSink>(page));
    part.mainMenu = std::make_shared<menu::MainMenu>(mainQueue, view, pages);
    *menuRef = part.mainMenu;
    part.recent = std::make_shared<menu::GtkRecentBoards>();
    part.mainMenu->setRecentBoards(part.recent);
    part.mainMenu->buildMenu();
    return part;
}

void MenuPart::followBoards(const std::shared_ptr<OpenFiles>& opener,
                            const std::shared_ptr<files::DocumentFile>& document) {
    if (mainMenu) {
        mainMenu->setBoardCommands({
            [weak = std::weak_ptr(opener)] {
                if (auto o = weak.lock()) o->newBoard();
            },
            [weak = std::weak_ptr(opener)](std::string path) {
                if (auto o = weak.lock()) o->open({std::move(path)});
            },
        });
    }
    if (document)
        document->setUsedObserver([weak = std::weak_ptr(recent)](const std::string& path) {
            if (auto r = weak.lock()) r->add(path);
        });
}

void MenuPart::followInPage(WebKitWebView* view, std::weak_ptr<bridge::PageSink> page) {
    if (view) pageLanguage = std::make_shared<menu::WebkitPageLanguage>(view, std::move(page));
}

void MenuPart::shutdown() {
    pageLanguage.reset();
    mainMenu.reset();
    recent.reset();
    if (l10nStore) menu::L10N::unsetStore(std::exchange(l10nStore, nullptr));
}

}  // namespace app
