// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/gtk_panels.h"

#include <utility>

#include "bridge/gtk_parent_window.h"
#include "gobj/connect.h"
#include "gobj/content_types.h"

namespace files {
namespace {

void onResponse(PanelAnswer& pending, GtkNativeDialog* dialog, int response) {
    PanelAnswer answer = std::exchange(pending, nullptr);
    std::optional<std::string> path;
    if (response == GTK_RESPONSE_ACCEPT) {
        if (GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog))) {
            // A location without a local path (a remote share the user browsed to) counts as none.
            if (char* p = g_file_get_path(file)) {
                path = p;
                g_free(p);
            }
            g_object_unref(file);
        }
    }
    g_object_unref(dialog);  // the reference taken when it was shown
    if (answer) answer(std::move(path));
}

}  // namespace

std::string documentsFolder() {
    const char* documents = g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
    if (documents && g_file_test(documents, G_FILE_TEST_IS_DIR)) return documents;
    return g_get_home_dir();
}

GtkFileFilter* filterForExtension(const std::string& extension) {
    auto type = gobj::contentTypeForExtension(extension);
    if (!type) return nullptr;
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, type->description.c_str());
    gtk_file_filter_add_mime_type(filter, type->mime.c_str());
    // Files the MIME database sniffs differently still match by their name.
    gtk_file_filter_add_suffix(filter, extension.c_str());
    return filter;
}

bool GtkPanels::save(const SaveChooser& chooser, PanelAnswer answer) {
    return show(GTK_FILE_CHOOSER_ACTION_SAVE, chooser.suggestedName, chooser.allowedExtension, chooser.folder,
                std::move(answer));
}

bool GtkPanels::open(const OpenChooser& chooser, PanelAnswer answer) {
    return show(GTK_FILE_CHOOSER_ACTION_OPEN, "", chooser.allowedExtension, chooser.folder, std::move(answer));
}

bool GtkPanels::show(GtkFileChooserAction action, const std::string& suggestedName, const std::string& extension,
                     const std::string& folder, PanelAnswer answer) {
    GtkWindow* parent = bridge::findParentWindow(app_);
    if (!parent) return false;

    GtkFileChooserNative* native = gtk_file_chooser_native_new(nullptr, parent, action, nullptr, nullptr);
    GtkNativeDialog* dialog = GTK_NATIVE_DIALOG(native);
    GtkFileChooser* fc = GTK_FILE_CHOOSER(native);
    gtk_native_dialog_set_modal(dialog, TRUE);
    gtk_native_dialog_set_transient_for(dialog, parent);
    if (action == GTK_FILE_CHOOSER_ACTION_SAVE) {
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gtk_file_chooser_set_create_folders(fc, TRUE);
        G_GNUC_END_IGNORE_DEPRECATIONS
        gtk_file_chooser_set_current_name(fc, suggestedName.c_str());
    } else {
        gtk_file_chooser_set_select_multiple(fc, FALSE);
    }
    if (!folder.empty()) {
        GFile* start = g_file_new_for_path(folder.c_str());
        gtk_file_chooser_set_current_folder(fc, start, nullptr);  // a folder gone since is ignored
        g_object_unref(start);
    }
    if (GtkFileFilter* filter = filterForExtension(extension)) {
        gtk_file_chooser_add_filter(fc, filter);  // takes its own reference
        gtk_file_chooser_set_filter(fc, filter);
        g_object_unref(filter);
    }

    // The answer lives on the chooser: GTK frees it with the chooser, whether or not it answered.
    gobj::connectForLife<GtkNativeDialog, int>(
        dialog, "response",
        [answer = std::move(answer)](GtkNativeDialog* d, int response) mutable { onResponse(answer, d, response); });
    gtk_native_dialog_show(dialog);
    return true;
}

}  // namespace files
