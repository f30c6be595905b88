// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture copied on the board, put on the clipboard so that other applications get the picture
// itself, not only the page's text and HTML for it.
#include <gtk/gtk.h>

#include <string>

#include "common/bytes.h"

namespace drop {

// Puts `image` (any format GTK decodes: PNG, JPEG, TIFF) on `clipboard` as a texture, which other
// applications read as image/png (or another format GTK writes), with `html` and `text` offered
// beside it when not empty. False, and the clipboard left as it was, when the bytes are no image.
bool copyImageToClipboard(GdkClipboard* clipboard, const common::Bytes& image, const std::string& html,
                          const std::string& text);

}  // namespace drop
