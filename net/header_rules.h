// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Header names and values as the request proxy may send them.
#include <string>
#include <string_view>
#include <vector>

#include "net/http_client.h"

namespace net {

bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool containsName(const std::vector<std::string>& names, std::string_view name);
// RFC 9110 token: what a method or a header name may be.
bool isHttpToken(std::string_view s);
// No CR, LF or NUL: such a value could end the header line and start another.
bool isSafeHeaderValue(std::string_view s);
// Sets a header, replacing any earlier one whose name matches without regard to case.
void setHeader(std::vector<Header>& headers, std::string name, std::string value);

}  // namespace net
