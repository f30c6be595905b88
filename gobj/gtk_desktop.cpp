#include "gobj/gtk_desktop.h"

#include <gtk/gtk.h>

namespace gobj {

void GtkDesktop::beep() {
    if (GdkDisplay* display = gdk_display_get_default()) gdk_display_beep(display);
}

void GtkDesktop::openUri(const std::string& uri) {
    // Asynchronous, outcome ignored: a desktop without a handler for the type simply does nothing.
    g_app_info_launch_default_for_uri_async(uri.c_str(), nullptr, nullptr, nullptr, nullptr);
}

}  // namespace gobj
