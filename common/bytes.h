// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace common {

using Bytes = std::vector<std::uint8_t>;

inline std::string_view asText(const Bytes& b) { return {reinterpret_cast<const char*>(b.data()), b.size()}; }
inline Bytes toBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

}  // namespace common
