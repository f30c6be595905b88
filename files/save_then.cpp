// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/save_then.h"

#include <utility>

namespace files {
namespace {

// Evaluated after a save's report: once it completes, the page has handled the report.
constexpr const char* kAfterReport = "void 0";

}  // namespace

void SaveThen::started(const std::string& action) {
    ++inProgress_;
    if (action == "saveJSON" && (state_ == State::Asking || state_ == State::Waiting)) state_ = State::Saving;
}

void SaveThen::ended(const SaveOutcome& outcome) {
    auto settle = [weak = weak_from_this(), outcome](std::optional<bool>) {
        auto self = weak.lock();
        if (!self) return;
        if (self->inProgress_) --self->inProgress_;
        if (self->settled_) self->settled_(outcome);
        if (self->state_ == State::Saving && outcome.action == "saveJSON") self->finish(outcome.reason);
    };
    // The report is already on its way to the page; whatever follows it waits until it is taken.
    if (auto page = page_.lock()) return page->callThen(kAfterReport, std::move(settle));
    settle(std::nullopt);
}

void SaveThen::saveThen(Done done) {
    if (state_ != State::Idle) {
        if (done) done(SaveReason::Cancelled);
        return;
    }
    auto page = page_.lock();
    if (!page) {
        if (done) done(SaveReason::Cancelled);
        return;
    }
    state_ = State::Asking;
    ++phase_;
    done_ = std::move(done);
    page->callThen(kSaveAsTheMenuDoes, [weak = weak_from_this(), phase = phase_](std::optional<bool> saving) {
        auto self = weak.lock();
        if (self && self->phase_ == phase) self->onAsked(saving);
    });
}

void SaveThen::onAsked(std::optional<bool> saving) {
    if (state_ == State::Saving) return;  // its chooser opened before the call returned
    if (state_ != State::Asking) return;
    if (saving != std::optional<bool>(true)) return finish(SaveReason::Cancelled);
    state_ = State::Waiting;
    if (!after_) return;
    after_(limits_.start, [weak = weak_from_this(), phase = phase_] {
        auto self = weak.lock();
        if (self && self->phase_ == phase && self->state_ == State::Waiting) self->finish(SaveReason::Cancelled);
    });
}

void SaveThen::finish(SaveReason reason) {
    state_ = State::Idle;
    ++phase_;
    if (Done done = std::exchange(done_, nullptr)) done(reason);
}

}  // namespace files
