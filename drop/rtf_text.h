// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plain text out of RTF: what a reader would see, without formatting.
#include <optional>
#include <string>
#include <string_view>

namespace drop {

// The document's text as UTF-8: paragraph and line breaks become "\n", tabs and table cells "\t";
// font, colour and style tables, document info, pictures and other non-text destinations are
// left out; \'hh bytes are decoded with the document's or the current font's code page and \uN
// escapes replace their fallback characters. Nothing when the data does not start as RTF.
std::optional<std::string> rtfToText(std::string_view rtf);

}  // namespace drop
