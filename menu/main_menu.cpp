// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/main_menu.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "menu/l10n.h"
#include "menu/menu_commands.h"

namespace menu {

MainMenu::MainMenu(common::MainQueue& mainQueue, std::shared_ptr<MenuView> view, std::shared_ptr<WindowPages> pages)
    : mainQueue_(mainQueue), view_(std::move(view)), pages_(std::move(pages)) {}

void MainMenu::buildMenu() { build(false); }

void MainMenu::build(bool keepChecks) {
    std::vector<bool> sensChecks;
    for (const MenuItem* item : sensItems_) sensChecks.push_back(item->checked);
    recentPaths_ = recent_ ? recent_->list(kRecentMax) : std::vector<std::string>{};
    menuBar_ = menu::buildMenu(L10N::lang(), L10N::pref(), recentTitles(recentPaths_));
    sensItems_.clear();
    langItems_.clear();
    for (MenuItem* item : allItems(menuBar_)) {
        if (item->command.kind == Command::Kind::Sensitivity) sensItems_.push_back(item);
        if (item->command.kind == Command::Kind::Language) langItems_.push_back(item);
    }
    if (keepChecks && sensChecks.size() == sensItems_.size())
        for (std::size_t i = 0; i < sensItems_.size(); ++i) sensItems_[i]->checked = sensChecks[i];
    if (view_) view_->install(menuBar_);
}

void MainMenu::setRecentBoards(std::shared_ptr<RecentBoards> recent) {
    recent_ = std::move(recent);
    if (!recent_) return;
    recent_->setChangedObserver([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->build(true);
    });
}

void MainMenu::syncSensMenu(double value) {
    for (std::size_t i = 0; i < sensItems_.size(); ++i) {
        bool on = std::fabs(kSensFactors[i] - value) < 0.001;  // false for NaN
        sensItems_[i]->checked = on;
        if (view_) view_->setChecked(sensItems_[i]->tag, on);
    }
}

void MainMenu::menuAction(int tag) {
    // The tag names the item; what it does is the item's command.
    Command command;
    for (const MenuItem* item : allItems(menuBar_))
        if (item->action == Action::MenuAction && item->tag == tag) command = item->command;
    if (command.kind == Command::Kind::None) command = commandForTag(tag);  // before the first build
    if (command.kind == Command::Kind::Language) {
        // Stored even when unchanged, and before the page hears of it: the page's langChanged
        // echo then finds the value stored and causes no second rebuild.
        L10N::setPref(command.arg);
        buildMenu();
        if (pages_) pages_->evaluateInEveryWindow(setLangCall(command.arg));
        return;
    }
    switch (command.kind) {
        case Command::Kind::NewBoard:
            if (boardCommands_.newBoard) boardCommands_.newBoard();
            return;
        case Command::Kind::OpenRecent: {
            std::size_t i = 0;
            auto [end, ec] = std::from_chars(command.arg.data(), command.arg.data() + command.arg.size(), i);
            if (ec == std::errc{} && i < recentPaths_.size() && boardCommands_.openBoard)
                boardCommands_.openBoard(recentPaths_[i]);
            return;
        }
        case Command::Kind::ClearRecent:
            if (recent_) recent_->clear();
            build(true);
            return;
        case Command::Kind::Undo:
        case Command::Kind::Redo:
            if (auto call = pageCall(command); call && pages_)
                pages_->historyStep(
                    command.kind == Command::Kind::Undo ? WindowPages::History::Undo : WindowPages::History::Redo,
                    *call);
            return;
        default:
            break;
    }
    auto call = pageCall(command);
    if (!call) return;
    if (auto i = sensIndex(command)) syncSensMenu(kSensFactors[*i]);
    if (pages_) pages_->evaluateInEveryWindow(*call);
}

void MainMenu::menuState(double sens) {
    mainQueue_.post([weak = weak_from_this(), sens] {
        if (auto self = weak.lock()) self->syncSensMenu(sens);
    });
}

void MainMenu::langChanged(std::string lang) {
    const auto& codes = L10N::codes();
    if (std::find(codes.begin(), codes.end(), lang) == codes.end()) return;
    if (L10N::pref() == lang) return;
    L10N::setPref(lang);
    mainQueue_.post([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->relocalizeMenu();
    });
}

}  // namespace menu
