#include "menu/main_menu.h"

#include <algorithm>
#include <cmath>

#include "menu/l10n.h"
#include "menu/menu_commands.h"

namespace menu {

MainMenu::MainMenu(common::MainQueue& mainQueue, std::shared_ptr<MenuView> view, std::shared_ptr<WindowPages> pages)
    : mainQueue_(mainQueue), view_(std::move(view)), pages_(std::move(pages)) {}

void MainMenu::buildMenu() {
    menuBar_ = menu::buildMenu(L10N::lang(), L10N::pref());
    sensItems_.clear();
    langItems_.clear();
    for (MenuItem* item : allItems(menuBar_)) {
        if (!item->checkable) continue;
        (item->tag < kLangTagBase ? sensItems_ : langItems_).push_back(item);
    }
    if (view_) view_->install(menuBar_);
}

void MainMenu::syncSensMenu(double value) {
    for (std::size_t i = 0; i < sensItems_.size(); ++i) {
        bool on = std::fabs(kSensFactors[i] - value) < 0.001;  // false for NaN
        sensItems_[i]->checked = on;
        if (view_) view_->setChecked(sensItems_[i]->tag, on);
    }
}

void MainMenu::menuAction(int tag) {
    if (auto code = langCodeForTag(tag)) {
        // Stored even when unchanged, and before the page hears of it: the page's langChanged
        // echo then finds the value stored and causes no second rebuild.
        L10N::setPref(*code);
        buildMenu();
        if (pages_) pages_->evaluateInEveryWindow(setLangCall(*code));
        return;
    }
    auto call = pageCallForTag(tag);
    if (!call) return;
    if (tag >= kSensTagBase && tag < kSensTagBase + int(kSensFactors.size()))
        syncSensMenu(kSensFactors[tag - kSensTagBase]);
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
