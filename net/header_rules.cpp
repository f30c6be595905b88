// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/header_rules.h"

#include <algorithm>
#include <cstring>

#include "common/text.h"

namespace net {

bool equalsIgnoringCase(std::string_view a, std::string_view b) { return common::equalsIgnoringAsciiCase(a, b); }

bool containsName(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return equalsIgnoringCase(n, name); });
}

bool isHttpToken(std::string_view s) {
    if (s.empty()) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
               (u != 0 && std::strchr("!#$%&'*+-.^_`|~", u) != nullptr);
    });
}

bool isSafeHeaderValue(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

void setHeader(std::vector<Header>& headers, std::string name, std::string value) {
    for (auto& h : headers) {
        if (equalsIgnoringCase(h.first, name)) {
            h = {std::move(name), std::move(value)};
            return;
        }
    }
    headers.emplace_back(std::move(name), std::move(value));
}

}  // namespace net
