// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y that the page left unhandled become undo and redo in a page text
// field (WebKitGTK leaves them to the application).
#include <gtk/gtk.h>

namespace menu {

// Adds the key controller to `window` once; later calls for the same window do nothing.
void addUndoKeys(GtkWindow* window);

}  // namespace menu
