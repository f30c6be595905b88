// Another application to drag from: a window titled "drag source" whose whole area drags the
// contents given as "MIME TEXT" arguments (a file manager's "text/uri-list", a browser's link).
// Quits when the drag ends.
#include <gtk/gtk.h>

#include <cstring>
#include <vector>

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
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    GtkWindow* window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_title(window, "drag source");
    gtk_window_set_default_size(window, 200, 200);
    GtkWidget* area = gtk_label_new("drag me");
    GtkDragSource* source = gtk_drag_source_new();
    GdkContentProvider* content = gdk_content_provider_new_union(offers.data(), offers.size());
    gtk_drag_source_set_content(source, content);
    g_object_unref(content);
    gtk_drag_source_set_actions(source, GDK_ACTION_COPY);
    g_signal_connect_swapped(source, "drag-end", G_CALLBACK(g_main_loop_quit), loop);
    gtk_widget_add_controller(area, GTK_EVENT_CONTROLLER(source));
    gtk_window_set_child(window, area);
    gtk_window_present(window);
    g_main_loop_run(loop);
    return 0;
}
