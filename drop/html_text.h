// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plain text out of HTML as a browser would show it, without formatting.
#include <optional>
#include <string>
#include <string_view>

namespace drop {

// The rendered text as UTF-8: white space collapsed outside <pre>, block elements and <br> as
// line breaks, table cells separated by tabs; scripts, styles and the document head left out.
// Nothing when the parser makes no document of the data.
std::optional<std::string> htmlToText(std::string_view html);

}  // namespace drop
