// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The menu bar's data as a GMenu: separators become sections, the import item's runs Pango markup,
// key equivalents "accel" attributes, each item pointing at its "app." action.
#include <gio/gio.h>

#include "menu/menu_model.h"

namespace menu {

// A new menu (the caller owns it); `sections` splits it at separators.
GMenu* renderMenu(const Menu& menu, bool sections);

}  // namespace menu
