// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Paste from the menu or Ctrl+V: the focused widget's own paste, which in the web view is the
// page's paste event; a page that asked also gets the clipboard's files or picture first.
#include <gtk/gtk.h>

namespace menu {

void paste(GtkApplication* app);

}  // namespace menu
