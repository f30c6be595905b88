// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/gtk_parent_window.h"

#include <webkit/webkit.h>

#include "drop/gtk_drag_catch_view.h"

namespace bridge {

GtkWindow* findParentWindow(GtkApplication* app) {
    if (!app) return nullptr;
    for (GList* l = gtk_application_get_windows(app); l; l = l->next) {
        GtkWidget* child = gtk_window_get_child(GTK_WINDOW(l->data));
        if (child && (TAVRIK_IS_DRAG_CATCH_VIEW(child) || WEBKIT_IS_WEB_VIEW(child))) return GTK_WINDOW(l->data);
    }
    return nullptr;
}

void GtkParentWindow::setTitle(const std::string& title) {
    // A title with a NUL would show shortened: it is refused and the window keeps its title.
    if (title.find('\0') != std::string::npos) return;
    if (GtkWindow* w = findParentWindow(app_)) gtk_window_set_title(w, title.c_str());
}

}  // namespace bridge
