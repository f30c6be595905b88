// Another application to drag from: a window titled "drag source" whose whole area drags the
// image file given on the command line as a texture, the way GTK image viewers offer it (PNG,
// TIFF and the other image formats GTK can serialise). With a MIME type after the file, the file's
// bytes are offered as that type alone, as image tools that only export TIFF do. Quits when the
// drag ends.
#include <gtk/gtk.h>

namespace {

GdkContentProvider* contentFor(const char* path, const char* mimeType) {
    g_autoptr(GError) error = nullptr;
    if (mimeType) {
        g_autoptr(GFile) file = g_file_new_for_path(path);
        g_autoptr(GBytes) bytes = g_file_load_bytes(file, nullptr, nullptr, &error);
        return bytes ? gdk_content_provider_new_for_bytes(mimeType, bytes) : nullptr;
    }
    GdkTexture* texture = gdk_texture_new_from_filename(path, &error);
    if (!texture) return nullptr;
    GValue value = G_VALUE_INIT;
    g_value_init(&value, GDK_TYPE_TEXTURE);
    g_value_take_object(&value, texture);
    GdkContentProvider* provider = gdk_content_provider_new_for_value(&value);
    g_value_unset(&value);
    return provider;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) return 2;
    gtk_init();
    GdkContentProvider* content = contentFor(argv[1], argc == 3 ? argv[2] : nullptr);
    if (!content) return 1;
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    GtkWindow* window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_title(window, "drag source");
    gtk_window_set_default_size(window, 200, 200);
    GtkWidget* area = gtk_label_new("drag me");
    GtkDragSource* source = gtk_drag_source_new();
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
