// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/image_sniff.h"

#include <cstring>

namespace net {

std::optional<std::string> sniffImage(const common::Bytes& body) {
    if (body.size() < 12 || body.size() > kImageMaxBytes) return std::nullopt;
    auto at = [&](std::size_t offset, const char* magic) {
        return std::memcmp(body.data() + offset, magic, std::strlen(magic)) == 0;
    };
    if (at(0, "BM")) return "image/bmp";
    if (at(0, "GIF")) return "image/gif";
    if (at(0, "RIFF") && at(8, "WEBP")) return "image/webp";
    if (at(0, "\x89PNG")) return "image/png";
    if (at(0, "\xFF\xD8\xFF")) return "image/jpeg";
    return std::nullopt;
}

}  // namespace net
