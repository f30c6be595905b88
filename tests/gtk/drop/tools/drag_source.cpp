// SPDX-License-Identifier: GPL-3.0-or-later
// Another application to drag from: a window titled "drag source" whose whole area drags the
// image file given on the command line as a texture, the way GTK image viewers offer it (PNG,
// TIFF and the other image formats GTK can serialise). With a MIME type after the file, the file's
// bytes are offered as that type alone, as image tools that only export TIFF do. Quits when the
// drag ends.
#include <gtk/gtk.h>

#include "drag_window.h"

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
    return runDragWindow(content);
}
