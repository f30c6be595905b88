// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/utf8_stream.h"

namespace net {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The number of continuation bytes a lead byte announces and the range its first one must lie in;
// 0 continuation bytes for ASCII, -1 for a byte that cannot start a character.
struct Lead {
    int needed;
    unsigned char low = 0x80, high = 0xBF;
};

Lead leadOf(unsigned char b) {
    if (b < 0x80) return {0};
    if (b >= 0xC2 && b <= 0xDF) return {1};
    if (b == 0xE0) return {2, 0xA0, 0xBF};
    if (b == 0xED) return {2, 0x80, 0x9F};  // no surrogates
    if (b >= 0xE1 && b <= 0xEF) return {2};
    if (b == 0xF0) return {3, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3) return {3};
    if (b == 0xF4) return {3, 0x80, 0x8F};  // nothing above U+10FFFF
    return {-1};
}

}  // namespace

std::string Utf8Stream::feed(std::string_view bytes) {
    std::string in;
    std::string_view data = bytes;
    if (!held_.empty()) {
        in = std::move(held_) + std::string(bytes);
        held_.clear();
        data = in;
    }
    std::string out;
    out.reserve(data.size());
    std::size_t i = 0;
    while (i < data.size()) {
        auto b = static_cast<unsigned char>(data[i]);
        Lead lead = leadOf(b);
        if (lead.needed == 0) {
            // Copy a run of ASCII at once.
            std::size_t j = i + 1;
            while (j < data.size() && static_cast<unsigned char>(data[j]) < 0x80) ++j;
            out.append(data.substr(i, j - i));
            i = j;
            continue;
        }
        if (lead.needed < 0) {
            out.append(kReplacement);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool bad = false;
        for (int k = 0; k < lead.needed; ++k, ++j) {
            if (j == data.size()) break;
            auto c = static_cast<unsigned char>(data[j]);
            unsigned char low = k == 0 ? lead.low : 0x80, high = k == 0 ? lead.high : 0xBF;
            if (c < low || c > high) {
                bad = true;
                break;
            }
        }
        if (bad) {
            out.append(kReplacement);  // the bytes read so far; the offending byte starts afresh
            i = j;
            continue;
        }
        if (j - i < static_cast<std::size_t>(lead.needed) + 1) {
            held_.assign(data.substr(i));  // cut by the network: wait for the rest
            break;
        }
        out.append(data.substr(i, j - i));
        i = j;
    }
    return out;
}

std::string Utf8Stream::finish() {
    if (held_.empty()) return {};
    held_.clear();
    return std::string(kReplacement);
}

}  // namespace net
