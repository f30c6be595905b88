#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace bridge {

struct ParsedUrl {
    std::string scheme;  // lower-cased; empty for a reference without a scheme
};

// Accepts what a strict URL-from-string initialiser accepts: only characters allowed in a URL
// reference (RFC 3986), well-formed percent escapes, and a well-formed scheme when one is present.
std::optional<ParsedUrl> parseUrl(std::string_view text);

}  // namespace bridge
