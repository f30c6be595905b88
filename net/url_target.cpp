// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/url_target.h"

#include "common/url.h"

namespace net {

std::optional<Target> parseTarget(const std::string& url) {
    auto parts = common::url::split(url);
    if (!parts || parts->scheme.empty()) return std::nullopt;
    auto end = common::url::endpoint(*parts);
    if (!end) return std::nullopt;
    return Target{parts->scheme, end->host, parts->host, end->port};
}

std::string writtenHostOfLocation(const std::string& location, const std::string& current) {
    auto parts = common::url::split(location);
    if (!parts || (parts->scheme.empty() && !parts->hasAuthority)) return current;  // a path on the same host
    // A scheme with no host names no host this shell could call local.
    return parts->hasAuthority ? parts->host : std::string{};
}

}  // namespace net
