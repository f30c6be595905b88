// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Editing commands for the focused widget, and finding a window's web view.
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include "menu/menu_model.h"

namespace menu {

// The web view of a window: its child when that is a web view, else the first web view among the
// child's direct children. No deeper search.
GtkWidget* webViewOfWindow(GtkWindow* window);

// The web view that has the keyboard focus in `window`, if any.
WebKitWebView* focusedWebView(GtkWindow* window);

// Cut, Copy, Paste and Select All for the focused widget: WebKit's editing command when the focus
// is in a web view, the text field's own action when it is a native text field, else the editing
// command on the active window's web view. Application accelerators take Ctrl+C before the focused
// widget sees it, so this is what keeps copying in a page text field working.
void runEditCommand(GtkApplication* app, Action action);

}  // namespace menu
