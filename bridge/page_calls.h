#pragma once
// The four page-call forms. Each returns nothing when the JSON cannot be produced, in which case
// the caller drops the call silently.
#include <optional>
#include <string>
#include <string_view>

#include "common/json.h"

namespace bridge::pagecall {

// window.name(J)
std::optional<std::string> single(std::string_view name, const json::Value& payload);
// window.name((J)[0], (J)[1], …): how strings and other non-objects reach the page intact.
std::optional<std::string> positional(std::string_view name, const json::Array& args);
// window.name((J))
std::optional<std::string> wrapped(std::string_view name, const json::Value& object);
// The guarded fixed form with a code spliced in: window.name && window.name('arg').
std::string guarded(std::string_view name, std::string_view arg);

}  // namespace bridge::pagecall
