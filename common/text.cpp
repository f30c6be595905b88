// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/text.h"

#include <algorithm>

#include "common/json.h"

namespace common {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string asciiLower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::string displayName(std::string_view name) {
    if (json::validUtf8(name)) return std::string(name);
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        auto lead = static_cast<unsigned char>(name[i]);
        std::size_t len = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (len && i + len <= name.size() && json::validUtf8(name.substr(i, len))) {
            out.append(name.substr(i, len));
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

}  // namespace common
