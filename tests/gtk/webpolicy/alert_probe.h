// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding and answering the shell's message dialogs the way a user would: by their buttons.
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "support/gtk_support.h"

namespace alertprobe {

inline GtkDialog* find() {
    GListModel* toplevels = gtk_window_get_toplevels();
    for (guint i = 0; i < g_list_model_get_n_items(toplevels); ++i) {
        auto* w = static_cast<GtkWidget*>(g_list_model_get_item(toplevels, i));
        g_object_unref(w);  // the list keeps it
        if (GTK_IS_MESSAGE_DIALOG(w) && gtk_widget_get_visible(w)) return GTK_DIALOG(w);
    }
    return nullptr;
}

inline GtkDialog* waitFor() {
    GtkDialog* dialog = nullptr;
    testsupport::runUntil([&] { return (dialog = find()) != nullptr; }, std::chrono::seconds(20));
    return dialog;
}

inline bool waitGone() {
    return testsupport::runUntil([] { return find() == nullptr; }, std::chrono::seconds(20));
}

inline std::string text(GtkDialog* dialog, const char* property = "text") {
    g_autofree char* s = nullptr;
    g_object_get(dialog, property, &s, nullptr);
    return s ? s : "";
}

inline GtkWidget* button(GtkDialog* dialog, int index) { return gtk_dialog_get_widget_for_response(dialog, index); }

inline std::vector<std::string> buttonLabels(GtkDialog* dialog) {
    std::vector<std::string> labels;
    for (int i = 0; GtkWidget* b = button(dialog, i); ++i) labels.push_back(gtk_button_get_label(GTK_BUTTON(b)));
    return labels;
}

// Clicks the button as a user would.
inline void press(GtkDialog* dialog, int index) { gtk_widget_activate(button(dialog, index)); }

// What the Escape key does on a dialog.
inline void escape(GtkDialog* dialog) { g_signal_emit_by_name(dialog, "close"); }

inline GtkWidget* findDescendant(GtkWidget* root, GType type) {
    if (G_TYPE_CHECK_INSTANCE_TYPE(root, type)) return root;
    for (GtkWidget* c = gtk_widget_get_first_child(root); c; c = gtk_widget_get_next_sibling(c))
        if (GtkWidget* found = findDescendant(c, type)) return found;
    return nullptr;
}

// What the Return key does in a field: its text part's "activate" key binding.
inline void pressReturn(GtkWidget* field) { g_signal_emit_by_name(findDescendant(field, GTK_TYPE_TEXT), "activate"); }

inline GtkEntry* entry(GtkDialog* dialog) { return GTK_ENTRY(findDescendant(GTK_WIDGET(dialog), GTK_TYPE_ENTRY)); }

}  // namespace alertprobe
