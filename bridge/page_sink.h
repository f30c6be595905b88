// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <functional>
#include <optional>
#include <string>

#include "common/json.h"

namespace bridge {

// How every Part talks to the page: the one road. Nothing else in the shell evaluates script in the
// main page, and nothing else builds the text of a page call.
//
// The order guarantee, which every Part may rely on and none needs to work around: every call made
// here, from any Part and any thread, becomes one task on the main queue, and the page evaluates
// the calls in the order they were issued (on one thread, the order in which they were made),
// always after the current event has been handled. A callThen's `done` runs only after the page has
// evaluated its call, and so after every call issued before it. Calls whose JSON cannot be written,
// or issued once the web view is gone or the shell is closing, are dropped silently; a callThen
// that is dropped still answers, once and later, with nothing.
class PageSink {
public:
    using Done = std::function<void(std::optional<bool>)>;

    virtual ~PageSink() = default;
    // False once the page cannot be reached: its view is gone or the shell is closing.
    virtual bool alive() const = 0;

    virtual void pushFunction(std::string name, json::Value payload) = 0;  // window.name(J)
    virtual void pushPositional(std::string name, json::Array args) = 0;   // window.name((J)[0], …)
    virtual void pushWrapped(std::string name, json::Value object) = 0;    // window.name((J))
    // window.name && window.name(J): for a function only some pages define.
    virtual void callGuarded(std::string name, json::Value arg) = 0;
    // window.name && window.name((J)[0], …): the same, with several arguments.
    virtual void callGuardedPositional(std::string name, json::Array args) = 0;
    // A fixed text of the shell's own (a constant, never built from input).
    virtual void pushScript(std::string script) = 0;
    // A fixed text whose evaluation is awaited: `done` gets its result when that is a boolean, and
    // nothing when it is anything else, the page threw or the page could not be reached.
    virtual void callThen(std::string script, Done done) = 0;
    // Runs `body`, a fixed text of the shell's own (a function's body that does not await, never
    // built from input), with `text` as its argument `a0`: where the channel can, the text is handed
    // over as a value, never parsed as source. `text` must be valid UTF-8 without NUL. `done` gets the body's result
    // when that is a boolean, and nothing when it is anything else, the page threw or could not be reached.
    virtual void carryThen(std::string body, std::string text, Done done) = 0;
};

}  // namespace bridge
