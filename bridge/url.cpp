#include "bridge/url.h"

#include <cctype>

namespace bridge {
namespace {

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool allowed(char c) {
    if (std::isalnum(static_cast<unsigned char>(c))) return true;
    switch (c) {
        case '-':
        case '.':
        case '_':
        case '~':  // unreserved
        case ':':
        case '/':
        case '?':
        case '#':
        case '[':
        case ']':
        case '@':  // gen-delims
        case '!':
        case '$':
        case '&':
        case '\'':
        case '(':
        case ')':
        case '*':
        case '+':
        case ',':
        case ';':
        case '=':  // sub-delims
            return true;
        default:
            return false;
    }
}

}  // namespace

std::optional<ParsedUrl> parseUrl(std::string_view s) {
    if (s.empty()) return std::nullopt;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%') {
            if (i + 2 >= s.size() || !isHex(s[i + 1]) || !isHex(s[i + 2])) return std::nullopt;
            i += 2;
        } else if (!allowed(s[i])) {
            return std::nullopt;
        }
    }
    ParsedUrl url;
    std::size_t colon = s.find(':');
    std::size_t stop = s.find_first_of("/?#");
    if (colon != std::string_view::npos && (stop == std::string_view::npos || colon < stop)) {
        std::string_view scheme = s.substr(0, colon);
        if (scheme.empty() || !std::isalpha(static_cast<unsigned char>(scheme[0]))) return std::nullopt;
        for (char c : scheme)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return std::nullopt;
        for (char c : scheme) url.scheme.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return url;
}

}  // namespace bridge
