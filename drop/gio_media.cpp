// SPDX-License-Identifier: GPL-3.0-or-later
// GIO content types and gdk-pixbuf behind drop/media.h.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include "common/log.h"
#include "drop/media.h"
#include "gobj/content_types.h"
#include "gobj/gerror.h"
#include "gobj/handles.h"

namespace drop {

std::optional<std::string> mimeTypeForExtension(std::string_view fileName) {
    const size_t dot = fileName.rfind('.');
    // "notes", "archive." and ".bashrc" have no extension.
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == fileName.size()) return std::nullopt;
    auto type = gobj::contentTypeForExtension(fileName.substr(dot + 1));
    if (!type) return std::nullopt;
    return std::move(type->mime);
}

std::optional<common::Bytes> reencodeAsPng(const common::Bytes& image) {
    if (image.empty()) return std::nullopt;
    auto loader = gobj::adopt(gdk_pixbuf_loader_new());
    g_autoptr(GError) error = nullptr;
    bool written = gdk_pixbuf_loader_write(loader.get(), image.data(), image.size(), &error);
    // Close even after a failed write: the loader complains when finalised unclosed.
    bool closed = gdk_pixbuf_loader_close(loader.get(), written ? &error : nullptr);
    if (!written || !closed) {
        common::log::warning(gobj::describe(error, "drop: the offered image could not be decoded"));
        return std::nullopt;
    }
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());
    if (!pixbuf) {
        common::log::warning("drop: the offered image could not be decoded: no picture in it");
        return std::nullopt;
    }
    g_autofree gchar* png = nullptr;
    gsize size = 0;
    if (!gdk_pixbuf_save_to_buffer(pixbuf, &png, &size, "png", &error, nullptr)) {
        common::log::warning(gobj::describe(error, "drop: the offered image could not be encoded as PNG"));
        return std::nullopt;
    }
    return common::Bytes(reinterpret_cast<const std::uint8_t*>(png), reinterpret_cast<const std::uint8_t*>(png) + size);
}

}  // namespace drop
