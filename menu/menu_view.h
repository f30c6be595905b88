// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "menu/menu_model.h"

namespace menu {

// Where the menu bar is shown. Main thread.
class MenuView {
public:
    virtual ~MenuView() = default;
    // Replaces the whole menu bar with `bar`; the previous items are dropped.
    virtual void install(const Menu& bar) = 0;
    // Moves one item's check mark.
    virtual void setChecked(int tag, bool on) = 0;
};

}  // namespace menu
