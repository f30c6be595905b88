// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turns a byte stream cut at arbitrary places into UTF-8 text piece by piece: a character split
// across pieces is held back until it is whole, and ill-formed bytes become U+FFFD, one per
// maximal ill-formed subsequence (the rule browsers' text decoders follow).
#include <string>
#include <string_view>

namespace net {

class Utf8Stream {
public:
    // The text that is complete after these bytes.
    std::string feed(std::string_view bytes);
    // At the end of the stream: a character still held back is incomplete and becomes U+FFFD.
    std::string finish();

private:
    std::string held_;  // the start of a character, at most 3 bytes
};

}  // namespace net
