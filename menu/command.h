// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a menu item asks for, typed: the item's tag stays as data (the page and the GTK actions know
// items by it), and routing reads the kind rather than the tag's range.
#include <optional>
#include <string>

namespace menu {

struct Command {
    enum class Kind {
        None,
        SaveJSON,     // the page's saveJSON(), as File ▸ Save
        PageAction,   // __menuAction(arg)
        Sensitivity,  // __menuAction("zoomsens:<arg>"), arg the factor's index in kSensFactors
        Language,     // the interface language, arg the code ("auto" or one of the ten)
        NewBoard,     // File ▸ New: asks over unsaved work, then __menuAction("new")
        OpenRecent,   // File ▸ Open Recent ▸ a board, arg its index in the list the menu was built with
        ClearRecent,  // File ▸ Open Recent ▸ Clear List
        Undo,         // Edit ▸ Undo: a focused page text field's own undo, else __menuAction("undo")
        Redo,         // Edit ▸ Redo, the same with "redo"
    };
    Kind kind = Kind::None;
    std::string arg;
    bool operator==(const Command&) const = default;
};

// The command of a tag, from the one table of tags; Kind::None for a tag no item carries.
Command commandForTag(int tag);

}  // namespace menu
