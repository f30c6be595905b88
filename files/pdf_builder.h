// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Builds a PDF from images and writes it over a target file in one replacement. Runs on a worker
// thread: it touches nothing but its arguments and the file.
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/result.h"

namespace files {

enum class PageLayout {
    ImageSize,  // one page the size of the image
    A4Width,    // every page 595 pt wide, as tall as the image's aspect ratio asks
};

// The page box for an image of w × h points. Zero sides count as one.
struct PageBox {
    double width = 0, height = 0;
};
PageBox pageBoxFor(PageLayout layout, int w, int h);

// Draws each image on its own page, in order, scaled to fill the page. JPEG images go into the
// file as they are (no re-encoding); others are embedded losslessly. An image that cannot be
// drawn is left out. Fails with Kind::Decode when no page could be made (nothing is written) and
// with Kind::Io when the file cannot be written (the old file stays as it was).
common::Status buildPdf(std::vector<common::Bytes> images, PageLayout layout, const std::string& path);

// The width, height and colour components a JPEG's frame header declares; nothing for other bytes.
struct JpegFrame {
    int width = 0, height = 0, components = 0;
    bool baseline = false;  // sequential or progressive Huffman coding, which every PDF reader decodes
};
std::optional<JpegFrame> jpegFrame(const common::Bytes& bytes);

}  // namespace files
