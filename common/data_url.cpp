// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/data_url.h"

#include "common/base64.h"

namespace common::dataurl {

std::optional<std::string_view> payload(std::string_view s) {
    // The last non-empty piece: strip trailing commas, then take what follows the last comma.
    std::size_t end = s.find_last_not_of(',');
    if (end == std::string_view::npos) return std::nullopt;
    s = s.substr(0, end + 1);
    std::size_t comma = s.rfind(',');
    return comma == std::string_view::npos ? s : s.substr(comma + 1);
}

std::optional<Bytes> decode(std::string_view dataUrl) {
    auto p = payload(dataUrl);
    if (!p) return std::nullopt;
    return base64::decode(*p);
}

std::optional<Bytes> decodeValue(const json::Value& dataUrl) {
    if (auto* e = dataUrl.encoded(); e && !e->bytes().empty()) return e->bytes();
    if (auto* text = dataUrl.string()) return decode(std::string_view(*text));
    return std::nullopt;
}

std::string make(std::string_view mime, const std::uint8_t* data, std::size_t size) {
    std::string out;
    out.reserve(13 + mime.size() + (size + 2) / 3 * 4);
    out.append("data:").append(mime).append(";base64,");
    base64::encodeAppend(data, size, out);
    return out;
}

}  // namespace common::dataurl
