// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/gtk_undo_keys.h"

#include <string>

#include "gobj/connect.h"

namespace menu {
namespace {

struct UndoActions {
    std::string undo, redo;
};

// WebKitGTK leaves undo and redo keys to the application: a page text field ignores Ctrl+Z. The keys
// the page did not take (its board undo takes them outside text fields) come back to the window, and
// there they do what Edit ▸ Undo and Redo do.
gboolean onUnhandledKey(const UndoActions* actions, GtkEventControllerKey* keys, guint keyval, GdkModifierType state) {
    auto mods = state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK | GDK_ALT_MASK | GDK_SUPER_MASK);
    guint key = gdk_keyval_to_lower(keyval);
    const std::string* action = nullptr;
    if (key == GDK_KEY_z && mods == GDK_CONTROL_MASK)
        action = &actions->undo;
    else if ((key == GDK_KEY_z && mods == (GDK_CONTROL_MASK | GDK_SHIFT_MASK)) ||
             (key == GDK_KEY_y && mods == GDK_CONTROL_MASK))
        action = &actions->redo;
    if (!action) return FALSE;
    GtkWidget* window = gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(keys));
    GtkApplication* app = GTK_IS_WINDOW(window) ? gtk_window_get_application(GTK_WINDOW(window)) : nullptr;
    if (!app || !g_action_group_has_action(G_ACTION_GROUP(app), action->c_str())) return FALSE;
    g_action_group_activate_action(G_ACTION_GROUP(app), action->c_str(), nullptr);
    return TRUE;
}

}  // namespace

void addUndoKeys(GtkWindow* window, const char* undoAction, const char* redoAction) {
    if (g_object_get_data(G_OBJECT(window), "tavrik-undo-keys")) return;
    g_object_set_data(G_OBJECT(window), "tavrik-undo-keys", GINT_TO_POINTER(1));
    // Bubble phase: only keys that no widget below, the web view included, has handled.
    GtkEventController* keys = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_BUBBLE);
    gobj::connectForLife<GtkEventControllerKey, guint, guint, GdkModifierType>(
        GTK_EVENT_CONTROLLER_KEY(keys), "key-pressed",
        [actions = UndoActions{undoAction, redoAction}](GtkEventControllerKey* k, guint keyval, guint,
                                                        GdkModifierType state) {
            return onUnhandledKey(&actions, k, keyval, state);
        });
    gtk_widget_add_controller(GTK_WIDGET(window), keys);
}

}  // namespace menu
