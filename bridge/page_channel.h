// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <functional>
#include <optional>
#include <string>

#include "bridge/page_calls.h"
#include "common/json.h"

namespace bridge {

// The main web view, held weakly: once it is gone every call is a silent no-op.
// Main thread only.
class PageChannel {
public:
    virtual ~PageChannel() = default;
    virtual bool alive() const = 0;
    // Evaluates with no completion: the result and any page error are discarded.
    virtual void evaluate(const std::string& script) = 0;
    // Evaluates and reports once, on the main thread: the result when it is a boolean, nothing when
    // it is anything else, the page threw, or the view is gone (then `done` runs on a later turn).
    // Makes a call whose long strings travel beside its body, with no completion. False when this
    // channel cannot, and the caller sends the text form instead.
    virtual bool call(const pagecall::LiftedCall&) { return false; }
    virtual void evaluateThen(const std::string& script, std::function<void(std::optional<bool>)> done) = 0;
    // Runs `body` with `text` as its argument a0 and reports as evaluateThen does. This form writes
    // the text into the script, for channels that cannot carry it beside.
    virtual void carryThen(const std::string& body, const std::string& text,
                           std::function<void(std::optional<bool>)> done) {
        auto literal = json::write(json::Value(text));
        if (!literal) return evaluateThen("void 0", std::move(done));
        evaluateThen("((a0) => {" + body + "\n})(" + *literal + ")", std::move(done));
    }
};

}  // namespace bridge
