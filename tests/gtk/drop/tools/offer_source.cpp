// SPDX-License-Identifier: GPL-3.0-or-later
// Another application to drag from: a window titled "drag source" whose whole area drags the
// contents given as "MIME TEXT" arguments (a file manager's "text/uri-list", a browser's link).
// Before them, "--move" offers copy and move as text editors do, and "--marks DIR" has the files
// "began" and "accepted" appear in DIR as the drag begins and once a target has accepted it. Quits when the drag ends;
// the exit status says how (see drag_window.h).
#include <gtk/gtk.h>

#include <cstring>
#include <vector>

#include "drag_window.h"

int main(int argc, char** argv) {
    gtk_init();
    DragOptions options;
    std::vector<GdkContentProvider*> offers;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--move") == 0) {
            options.actions = GdkDragAction(GDK_ACTION_COPY | GDK_ACTION_MOVE);
            continue;
        }
        if (std::strcmp(argv[i], "--marks") == 0 && i + 1 < argc) {
            options.marks = argv[++i];
            continue;
        }
        const char* eq = std::strchr(argv[i], ' ');
        if (!eq) return 2;
        g_autofree char* mime = g_strndup(argv[i], eq - argv[i]);
        g_autoptr(GBytes) bytes = g_bytes_new(eq + 1, std::strlen(eq + 1));
        offers.push_back(gdk_content_provider_new_for_bytes(mime, bytes));
    }
    if (offers.empty()) return 2;
    return runDragWindow(gdk_content_provider_new_union(offers.data(), offers.size()), options);
}
