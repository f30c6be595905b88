// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/gtk_edit_commands.h"

namespace menu {
namespace {

const char* webkitCommand(Action action) {
    switch (action) {
        case Action::Cut:
            return WEBKIT_EDITING_COMMAND_CUT;
        case Action::Copy:
            return WEBKIT_EDITING_COMMAND_COPY;
        case Action::Paste:
            return WEBKIT_EDITING_COMMAND_PASTE;
        default:
            return WEBKIT_EDITING_COMMAND_SELECT_ALL;
    }
}

const char* textFieldAction(Action action) {
    switch (action) {
        case Action::Cut:
            return "clipboard.cut";
        case Action::Copy:
            return "clipboard.copy";
        case Action::Paste:
            return "clipboard.paste";
        default:
            return "selection.select-all";
    }
}

}  // namespace

WebKitWebView* focusedWebView(GtkWindow* window) {
    for (GtkWidget* w = gtk_root_get_focus(GTK_ROOT(window)); w; w = gtk_widget_get_parent(w))
        if (WEBKIT_IS_WEB_VIEW(w)) return WEBKIT_WEB_VIEW(w);
    return nullptr;
}

GtkWidget* webViewOfWindow(GtkWindow* window) {
    GtkWidget* child = window ? gtk_window_get_child(window) : nullptr;
    if (!child) return nullptr;
    if (WEBKIT_IS_WEB_VIEW(child)) return child;
    for (GtkWidget* c = gtk_widget_get_first_child(child); c; c = gtk_widget_get_next_sibling(c))
        if (WEBKIT_IS_WEB_VIEW(c)) return c;
    return nullptr;
}

void runEditCommand(GtkApplication* app, Action action) {
    GtkWindow* window = gtk_application_get_active_window(app);
    if (!window) return;
    GtkWidget* focus = gtk_root_get_focus(GTK_ROOT(window));
    for (GtkWidget* w = focus; w; w = gtk_widget_get_parent(w)) {
        if (WEBKIT_IS_WEB_VIEW(w)) {
            webkit_web_view_execute_editing_command(WEBKIT_WEB_VIEW(w), webkitCommand(action));
            return;
        }
    }
    if (focus && gtk_widget_activate_action(focus, textFieldAction(action), nullptr)) return;
    if (GtkWidget* view = webViewOfWindow(window))
        webkit_web_view_execute_editing_command(WEBKIT_WEB_VIEW(view), webkitCommand(action));
}

}  // namespace menu
