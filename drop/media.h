// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two platform look-ups item collection needs: a MIME type for a file name's extension, and
// decoding an image to re-encode it as PNG.
#include <optional>
#include <string>
#include <string_view>

#include "common/bytes.h"

namespace drop {

// The registered MIME type of the file name's last extension, or nothing when the name has no
// extension or the extension has no registered type.
std::optional<std::string> mimeTypeForExtension(std::string_view fileName);

// Decodes any image format the platform reads (PNG, TIFF, …) and encodes it as PNG; nothing when
// the data cannot be decoded.
std::optional<common::Bytes> reencodeAsPng(const common::Bytes& image);

}  // namespace drop
