// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Images the page sends for PDF pages: a cheap look at the header when the command arrives, the
// pixels only while a page is being drawn (on a worker thread), one page at a time.
#include <cairo.h>

#include <optional>

#include "common/bytes.h"

namespace files {

struct ImageSize {
    int width = 0;  // pixels; one pixel is one point
    int height = 0;
};

// The size, when a decoder recognises the bytes as an image (PNG, JPEG, GIF, BMP, WEBP, TIFF, …).
std::optional<ImageSize> probeImage(const common::Bytes& bytes);

// The decoded first frame as a cairo image surface (owned by the caller), or null.
cairo_surface_t* decodeImage(const common::Bytes& bytes);

}  // namespace files
