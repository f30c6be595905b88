// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding and answering the shell's file choosers the way a user would.
#include <gtk/gtk.h>

#include <string>

#include "support/gtk_support.h"

namespace chooserprobe {

// The chooser GTK shows without a portal: GtkFileChooserNative's own GtkFileChooserDialog.
inline GtkWindow* find() {
    GtkWindow* found = nullptr;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next)
        if (GTK_IS_FILE_CHOOSER_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data)))
            found = GTK_WINDOW(l->data);
    g_list_free(all);
    return found;
}

inline GtkWindow* waitFor() {
    GtkWindow* chooser = nullptr;
    testsupport::runUntil([&] { return (chooser = find()) != nullptr; });
    return chooser;
}

inline void respond(GtkWindow* chooser, int response) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_dialog_response(GTK_DIALOG(chooser), response);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

// Cancels as a user would, after the chooser has shown its first folder: GTK 4.8 reports a
// folder load cut short by the chooser closing in an error dialog of its own.
inline void cancel(GtkWindow* chooser) {
    GtkFileChooser* fc = GTK_FILE_CHOOSER(chooser);
    auto shown = [&] {
        g_autoptr(GFile) folder = gtk_file_chooser_get_current_folder(fc);
        return folder != nullptr;
    };
    testsupport::runUntil(shown, std::chrono::seconds(5));
    for (int i = 0; i < 3; ++i)
        testsupport::runUntil([] { return !g_main_context_pending(nullptr); }, std::chrono::seconds(2));
    respond(chooser, GTK_RESPONSE_CANCEL);
}

// Chooses `path` and accepts. The chooser loads its first folder asynchronously and may switch to
// it after ours was set: choose, let it settle, and choose again until the choice sticks.
inline bool accept(GtkWindow* chooser, const std::string& path) {
    GtkFileChooser* fc = GTK_FILE_CHOOSER(chooser);
    g_autoptr(GFile) target = g_file_new_for_path(path.c_str());
    g_autoptr(GFile) folder = g_file_get_parent(target);
    g_autofree char* name = g_file_get_basename(target);
    auto chosen = [&] {
        g_autoptr(GFile) f = gtk_file_chooser_get_file(fc);
        return f && g_file_equal(f, target);
    };
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    const bool saving = gtk_file_chooser_get_action(fc) == GTK_FILE_CHOOSER_ACTION_SAVE;
    G_GNUC_END_IGNORE_DEPRECATIONS
    bool settled = false;
    for (int attempt = 0; attempt < 10 && !settled; ++attempt) {
        // A save chooser takes a typed name; an open chooser selects a file that is there.
        if (saving) {
            gtk_file_chooser_set_current_folder(fc, folder, nullptr);
            gtk_file_chooser_set_current_name(fc, name);
        } else {
            gtk_file_chooser_set_file(fc, target, nullptr);
        }
        testsupport::runUntil(chosen, std::chrono::seconds(5));
        testsupport::runUntil([] { return !g_main_context_pending(nullptr); }, std::chrono::seconds(2));
        settled = chosen();
    }
    if (settled) respond(chooser, GTK_RESPONSE_ACCEPT);
    return settled;
}

}  // namespace chooserprobe
