// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The four page-call forms. Each returns nothing when the JSON cannot be produced, in which case
// the caller drops the call silently.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/json.h"

namespace bridge::pagecall {

// window.name(J)
std::optional<std::string> single(std::string_view name, const json::Value& payload);
// window.name((J)[0], (J)[1], …): how strings and other non-objects reach the page intact.
std::optional<std::string> positional(std::string_view name, const json::Array& args);
// window.name((J))
std::optional<std::string> wrapped(std::string_view name, const json::Value& object);

// The same call as one of the forms above, with its long strings carried beside the script rather
// than inside it: WebKit then copies them instead of parsing them as source. `body` calls the
// function with the same values, naming the carried strings a0, a1, … in the order of `strings`,
// which point into the value the call was built from.
struct LiftedCall {
    std::string body;
    std::vector<const std::string*> strings;
};

// Guarded: window.name && window.name(J), for a function only some pages define;
// GuardedPositional: window.name && window.name((J)[0], …).
enum class Form { Single, Positional, Wrapped, Guarded, GuardedPositional };

// Nothing when no string of at least `minBytes` can be carried (strings holding a NUL or invalid
// UTF-8 stay in the text) or when the JSON cannot be produced; the caller then uses the text form,
// which drops the call exactly when this could not produce it.
std::optional<LiftedCall> lifted(std::string_view name, Form form, const json::Value& value, std::size_t minBytes);

// The text form for `form`: single, positional (value is the argument array), wrapped or guarded.
std::optional<std::string> text(std::string_view name, Form form, const json::Value& value);

}  // namespace bridge::pagecall
