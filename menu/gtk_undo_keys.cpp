// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/gtk_undo_keys.h"

#include "menu/gtk_edit_commands.h"

namespace menu {
namespace {

// WebKitGTK leaves undo and redo keys to the application: a page text field ignores Ctrl+Z. The keys
// the page did not take (its board undo takes them outside text fields) come back to the window, and
// there they become the field's own undo and redo.
gboolean onUnhandledKey(GtkEventControllerKey* keys, guint keyval, guint, GdkModifierType state, gpointer) noexcept {
    auto mods = state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK | GDK_ALT_MASK | GDK_SUPER_MASK);
    guint key = gdk_keyval_to_lower(keyval);
    const char* command = nullptr;
    if (key == GDK_KEY_z && mods == GDK_CONTROL_MASK)
        command = WEBKIT_EDITING_COMMAND_UNDO;
    else if ((key == GDK_KEY_z && mods == (GDK_CONTROL_MASK | GDK_SHIFT_MASK)) ||
             (key == GDK_KEY_y && mods == GDK_CONTROL_MASK))
        command = WEBKIT_EDITING_COMMAND_REDO;
    if (!command) return FALSE;
    GtkWidget* window = gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(keys));
    WebKitWebView* view = GTK_IS_WINDOW(window) ? focusedWebView(GTK_WINDOW(window)) : nullptr;
    if (!view) return FALSE;
    webkit_web_view_execute_editing_command(view, command);
    return TRUE;
}

}  // namespace

void addUndoKeys(GtkWindow* window) {
    if (g_object_get_data(G_OBJECT(window), "tavrik-undo-keys")) return;
    g_object_set_data(G_OBJECT(window), "tavrik-undo-keys", GINT_TO_POINTER(1));
    // Bubble phase: only keys that no widget below, the web view included, has handled.
    GtkEventController* keys = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_BUBBLE);
    g_signal_connect(keys, "key-pressed", G_CALLBACK(onUnhandledKey), nullptr);
    gtk_widget_add_controller(GTK_WIDGET(window), keys);
}

}  // namespace menu
