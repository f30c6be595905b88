// SPDX-License-Identifier: GPL-3.0-or-later
// Another application to drag from: a window titled "drag source" whose whole area drags the
// contents given as "MIME TEXT" arguments (a file manager's "text/uri-list", a browser's link).
// Quits when the drag ends.
#include <gtk/gtk.h>

#include <cstring>
#include <vector>

#include "drag_window.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    gtk_init();
    std::vector<GdkContentProvider*> offers;
    for (int i = 1; i < argc; ++i) {
        const char* eq = std::strchr(argv[i], ' ');
        if (!eq) return 2;
        g_autofree char* mime = g_strndup(argv[i], eq - argv[i]);
        g_autoptr(GBytes) bytes = g_bytes_new(eq + 1, std::strlen(eq + 1));
        offers.push_back(gdk_content_provider_new_for_bytes(mime, bytes));
    }
    return runDragWindow(gdk_content_provider_new_union(offers.data(), offers.size()));
}
