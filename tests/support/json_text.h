// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads the JSON text of a command message or a page call into the bridge's json::Value, with
// the library the product reads JSON files with. Members keep their order, repeated keys included.
#include <optional>
#include <string_view>

#include "common/json.h"

namespace testsupport {

std::optional<json::Value> parseJson(std::string_view text);

}  // namespace testsupport
