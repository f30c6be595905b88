// SPDX-License-Identifier: GPL-3.0-or-later
#include "gobj/content_types.h"

#include <gio/gio.h>

namespace gobj {

std::optional<ContentType> contentTypeForExtension(std::string_view extension) {
    if (extension.empty()) return std::nullopt;
    const std::string probe = "file." + std::string(extension);
    g_autofree char* type = g_content_type_guess(probe.c_str(), nullptr, 0, nullptr);
    if (!type || g_content_type_is_unknown(type)) return std::nullopt;
    g_autofree char* mime = g_content_type_get_mime_type(type);
    if (!mime) return std::nullopt;
    g_autofree char* description = g_content_type_get_description(type);
    return ContentType{mime, description ? description : mime};
}

}  // namespace gobj
