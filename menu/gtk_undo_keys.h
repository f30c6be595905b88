// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y that the page left unhandled become Edit ▸ Undo and Redo: a page
// text field's own undo (WebKitGTK leaves the keys to the application), else the page's command.
#include <gtk/gtk.h>

namespace menu {

// Adds the key controller to `window` once; later calls for the same window do nothing. The keys
// activate the application's actions `undoAction` and `redoAction` (without "app.").
void addUndoKeys(GtkWindow* window, const char* undoAction, const char* redoAction);

}  // namespace menu
