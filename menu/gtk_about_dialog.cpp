// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/gtk_about_dialog.h"

#include "menu/l10n.h"

namespace menu {

void showAboutDialog(GtkApplication* app) {
    GtkWidget* dialog = gtk_about_dialog_new();
    GtkAboutDialog* about = GTK_ABOUT_DIALOG(dialog);
    gtk_about_dialog_set_program_name(about, "TAVRIK");
    gtk_about_dialog_set_version(about, TAVRIK_VERSION);
    // GPL-3.0-or-later: GTK's text for this choice names version 3 "or later".
    gtk_about_dialog_set_license_type(about, GTK_LICENSE_GPL_3_0);
    // Installed, the application's icon; from a build tree there is none, and no placeholder either.
    GtkIconTheme* icons = gtk_icon_theme_get_for_display(gtk_widget_get_display(dialog));
    gtk_about_dialog_set_logo_icon_name(about,
                                        gtk_icon_theme_has_icon(icons, "org.tavrik.Tavrik") ? "org.tavrik.Tavrik" : "");
    gtk_window_set_title(GTK_WINDOW(dialog), L10N::t("关于 TAVRIK").c_str());
    if (GtkWindow* parent = gtk_application_get_active_window(app)) {
        gtk_window_set_transient_for(GTK_WINDOW(dialog), parent);
        gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    }
    gtk_window_set_hide_on_close(GTK_WINDOW(dialog), FALSE);  // closing destroys it
    gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace menu
