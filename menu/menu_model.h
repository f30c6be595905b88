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

// A key equivalent: Control with the letter, and Shift when asked. A key the page sees first is only
// shown beside the item: the page handles it, and what it leaves comes back to the item.
struct KeyEquivalent {
    char letter = 0;
    bool shift = false;
    bool pageFirst = false;
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
inline constexpr int kNewTag = 700;         // File ▸ New
inline constexpr int kSaveAsTag = 701;      // File ▸ Save As…
inline constexpr int kUndoTag = 702;        // Edit ▸ Undo
inline constexpr int kRedoTag = 703;        // Edit ▸ Redo
inline constexpr int kRecentTagBase = 710;  // File ▸ Open Recent ▸ the boards, newest first
inline constexpr int kRecentMax = 10;
inline constexpr int kClearRecentTag = 720;  // File ▸ Open Recent ▸ Clear List

// The whole menu bar in `language`, with the language items checked against `pref`, and the
// recently used boards' titles (newest first; only the first kRecentMax are shown).
Menu buildMenu(const std::string& language, const std::string& pref, const std::vector<std::string>& recent = {});

// Every item of `menu` and its submenus, depth first, in menu order.
std::vector<const MenuItem*> allItems(const Menu& menu);
std::vector<MenuItem*> allItems(Menu& menu);

}  // namespace menu
