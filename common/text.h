// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text rules that protocols and file formats spell in ASCII: case folding that no locale changes.
#include <string>
#include <string_view>

namespace common {

// A–Z become a–z; every other byte, UTF-8 included, stays as it is.
std::string asciiLower(std::string_view s);

// Equal when only the case of ASCII letters differs.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

// File names on Linux are bytes; the page gets text: each byte that is not part of a valid UTF-8
// sequence becomes U+FFFD.
std::string displayName(std::string_view name);

}  // namespace common
