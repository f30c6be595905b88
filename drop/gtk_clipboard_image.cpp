// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/gtk_clipboard_image.h"

#include <vector>

#include "common/log.h"
#include "gobj/gerror.h"

namespace drop {

bool copyImageToClipboard(GdkClipboard* clipboard, const common::Bytes& image, const std::string& html,
                          const std::string& text) {
    g_autoptr(GBytes) bytes = g_bytes_new(image.data(), image.size());
    g_autoptr(GError) error = nullptr;
    g_autoptr(GdkTexture) texture = gdk_texture_new_from_bytes(bytes, &error);
    if (!texture) {
        common::log::warning(gobj::describe(error, "copy: the picture could not be decoded"));
        return false;
    }
    std::vector<GdkContentProvider*> offers{gdk_content_provider_new_typed(GDK_TYPE_TEXTURE, texture)};
    if (!html.empty()) {
        g_autoptr(GBytes) markup = g_bytes_new(html.data(), html.size());
        offers.push_back(gdk_content_provider_new_for_bytes("text/html", markup));
    }
    if (!text.empty()) offers.push_back(gdk_content_provider_new_typed(G_TYPE_STRING, text.c_str()));
    g_autoptr(GdkContentProvider) all = gdk_content_provider_new_union(offers.data(), offers.size());
    return gdk_clipboard_set_content(clipboard, all);
}

}  // namespace drop
