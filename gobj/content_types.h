// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shared MIME database, asked by file-name extension.
#include <optional>
#include <string>
#include <string_view>

namespace gobj {

struct ContentType {
    std::string mime;         // "image/png"
    std::string description;  // "PNG image", in the user's language; the MIME type when there is none
};

// The registered type of files ending in "." + extension (given without the dot); GIO's first
// choice where several types claim it; nothing for an empty or unregistered extension. Only the
// extension decides, so whole-name patterns such as "README*" or "Makefile" never apply.
std::optional<ContentType> contentTypeForExtension(std::string_view extension);

}  // namespace gobj
