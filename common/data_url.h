// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/json.h"

namespace common::dataurl {

// The incoming rule: split at every comma, drop empty pieces, the last piece is the payload.
// The scheme, the MIME type and the ";base64" marker are never examined.
std::optional<std::string_view> payload(std::string_view dataUrl);

// payload() then strict base64; nothing when either step fails.
std::optional<Bytes> decode(std::string_view dataUrl);
// The same for a string the page sent, which may have arrived as its decoded bytes: those are the
// payload (base64 holds no comma), taken without making the text. Nothing when it is no string.
std::optional<Bytes> decodeValue(const json::Value& dataUrl);

// "data:" + mime + ";base64," + base64, built in one buffer.
std::string make(std::string_view mime, const std::uint8_t* data, std::size_t size);
inline std::string make(std::string_view mime, const Bytes& b) { return make(mime, b.data(), b.size()); }

}  // namespace common::dataurl
