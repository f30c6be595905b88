// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The menu bar's owner: builds it in the language in force, keeps the check marks of the zoom
// sensitivity and language items, turns menu choices into page calls, and handles the page's
// menuState and langChanged messages. Main thread.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bridge/commands.h"
#include "common/main_queue.h"
#include "menu/menu_model.h"
#include "menu/menu_view.h"
#include "menu/recent_boards.h"
#include "menu/window_pages.h"

namespace menu {

class MainMenu final : public bridge::MenuCommands, public std::enable_shared_from_this<MainMenu> {
public:
    MainMenu(common::MainQueue& mainQueue, std::shared_ptr<MenuView> view, std::shared_ptr<WindowPages> pages);

    // What File ▸ New and File ▸ Open Recent hand over: both ask over unsaved work first.
    struct BoardCommands {
        std::function<void()> newBoard;
        std::function<void(std::string path)> openBoard;
    };
    void setBoardCommands(BoardCommands commands) { boardCommands_ = std::move(commands); }
    // Where Open Recent's boards come from, from the next build on; the submenu follows the list's
    // changes.
    void setRecentBoards(std::shared_ptr<RecentBoards> recent);

    // Builds the whole menu bar afresh (titles, check marks) and installs it.
    void buildMenu();
    void relocalizeMenu() { buildMenu(); }
    // Checks the sensitivity item whose factor lies within 0.001 of `value`; none when none does.
    void syncSensMenu(double value);
    // A chosen item that drives the page, by its tag.
    void menuAction(int tag);

    // The page's reports, deferred to the main queue so they run after the current message.
    void menuState(double sens) override;
    void langChanged(std::string lang) override;

    // The latest build, with the current check marks.
    const Menu& menuBar() const { return menuBar_; }
    const std::vector<MenuItem*>& sensItems() const { return sensItems_; }
    const std::vector<MenuItem*>& langItems() const { return langItems_; }

private:
    // Builds and installs the menu bar; `keepChecks` keeps the sensitivity check marks where they
    // are (only the recent boards changed), where a full build puts them back on the standard one.
    void build(bool keepChecks);

    common::MainQueue& mainQueue_;
    std::shared_ptr<MenuView> view_;
    std::shared_ptr<WindowPages> pages_;
    Menu menuBar_;
    std::vector<MenuItem*> sensItems_;  // point into menuBar_
    std::vector<MenuItem*> langItems_;
    BoardCommands boardCommands_;
    std::shared_ptr<RecentBoards> recent_;
    std::vector<std::string> recentPaths_;  // the paths of the Open Recent items of the latest build
};

}  // namespace menu
