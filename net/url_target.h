// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <optional>
#include <string>

#include "net/http_client.h"

namespace net {

// Reads a URL the way the HTTP client (libcurl) will when it connects, so a rule decided on the
// result holds for the address actually used; a URL it could read two ways gives nothing. No scheme
// is guessed: a URL without one gives nothing.
std::optional<Target> parseTarget(const std::string& url);

// The host of a redirect's Location as it is written there, lower-cased; `current` (the written
// host of the hop that redirected) when the Location names no host.
std::string writtenHostOfLocation(const std::string& location, const std::string& current);

}  // namespace net
