// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The menu bar as plain data: titles, key equivalents, actions, tags and check marks. The GTK layer
// renders it; tests read it directly.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "menu/command.h"

namespace menu {

// What choosing an item does. MenuAction items are told apart by their tag.
enum class Action { None, MenuAction, About, Quit, Cut, Copy, Paste, SelectAll };

// A key equivalent: Control with the letter, and Shift when asked.
struct KeyEquivalent {
    char letter = 0;
    bool shift = false;
    bool operator==(const KeyEquivalent&) const = default;
};

// One run of an attributed title; a badge run is drawn bold, small, white on teal.
struct TitleRun {
    std::string text;
    bool badge = false;
    bool operator==(const TitleRun&) const = default;
};

struct MenuItem;

struct Menu {
    std::string title;
    std::vector<MenuItem> items;
};

struct MenuItem {
    bool separator = false;
    std::string title;           // the plain title (empty for the top-level items)
    std::vector<TitleRun> runs;  // the attributed title, when the item has one
    Action action = Action::None;
    int tag = 0;
    Command command;  // what a MenuAction item asks for, read from its tag when the menu is built
    std::optional<KeyEquivalent> key;
    bool checkable = false;  // carries a check mark state
    bool checked = false;
    std::optional<Menu> submenu;

    // What the menu shows: the attributed runs joined, the title, else the submenu's title.
    std::string shownTitle() const;
};

// The zoom sensitivity factors and their items' keys, in menu order.
inline constexpr std::array<double, 5> kSensFactors{0.4, 0.7, 1.0, 1.8, 2.8};
inline constexpr std::array<const char*, 5> kSensKeys{"很慢", "柔和", "标准", "快", "很快"};
inline constexpr int kSensTagBase = 400;
inline constexpr int kLangTagBase = 500;    // 500 is "follow the system", 501… the languages
inline constexpr int kZoomFitTag = 600;     // View ▸ Fit to content
inline constexpr int kZoomActualTag = 601;  // View ▸ 100 %

// The whole menu bar in `language`, with the language items checked against `pref`.
Menu buildMenu(const std::string& language, const std::string& pref);

// Every item of `menu` and its submenus, depth first, in menu order.
std::vector<const MenuItem*> allItems(const Menu& menu);
std::vector<MenuItem*> allItems(Menu& menu);

}  // namespace menu
