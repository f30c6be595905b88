// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a stored key may be sent: a list of origins per key id, written "scheme://host[:port]" with
// the scheme and host lower-cased and the scheme's own port left out, so one origin has one text.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/json.h"

namespace vault {

// The origin of an http or https URL, read as the HTTP client reads it (numeric forms written out,
// names lower-cased); nothing for any other URL.
std::optional<std::string> originOf(std::string_view url);

// The host as a question shows it: the origin without its scheme ("api.example.com",
// "localhost:11434").
std::string shownHost(const std::string& origin);

// The "origins" field of a vaultSet: an array whose every entry is an http or https URL (an
// origin or any URL of it), as their origins, each once, in the order given. Absent, not an array,
// or any entry that is not such a URL: nothing, and the field is ignored whole.
std::optional<std::vector<std::string>> originsField(const json::Value* field);

// The stored form of a list (one origin per line) and back.
std::string joinOrigins(const std::vector<std::string>& origins);
std::vector<std::string> splitOrigins(const std::string& stored);

}  // namespace vault
