// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Paste from the menu or Ctrl+V: into a text field as the editing command; on the board itself the
// clipboard's image or text reaches the page as a pasted item.
#include <memory>

#include "menu/gtk_menu_bar.h"

namespace menu {

void paste(GtkApplication* app, const std::weak_ptr<GtkMenuBarView::Handlers>& handlers);

}  // namespace menu
