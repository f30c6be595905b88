// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/bridge.h"

#include "bridge/page_calls.h"

namespace bridge {
Bridge::Bridge(common::MainQueue& mainQueue, std::shared_ptr<PageChannel> page)
    : mainQueue_(mainQueue), page_(std::move(page)) {}

void Bridge::close() {
    closed_ = true;
    commands_.clear();
}

void Bridge::receive(const json::Value& msg) {
    if (!closed_) commands_.dispatch(msg);
}

void Bridge::receive(json::Value&& msg) {
    if (!closed_) commands_.dispatch(std::move(msg));
}

void Bridge::sendToPage(json::Array items) { pushFunction("__floatDrop", json::Value(std::move(items))); }

void Bridge::sendFileDrop(json::Value drop) { callGuarded("__fileDrop", std::move(drop)); }

void Bridge::enqueueCall(std::string name, pagecall::Form form, json::Value value) {
    // One task either way, so lifted and text calls keep the issue order.
    mainQueue_.post([weak = weak_from_this(), name = std::move(name), form, value = std::move(value)] {
        auto self = weak.lock();
        if (!self || self->closed_ || !self->page_->alive()) return;
        if (auto call = pagecall::lifted(name, form, value, self->liftBytes_); call && self->page_->call(*call)) return;
        if (auto script = pagecall::text(name, form, value)) self->page_->evaluate(*script);
    });
}

void Bridge::pushFunction(std::string name, json::Value payload) {
    enqueueCall(std::move(name), pagecall::Form::Single, std::move(payload));
}

void Bridge::pushPositional(std::string name, json::Array args) {
    enqueueCall(std::move(name), pagecall::Form::Positional, json::Value(std::move(args)));
}

void Bridge::pushWrapped(std::string name, json::Value object) {
    enqueueCall(std::move(name), pagecall::Form::Wrapped, std::move(object));
}

void Bridge::callGuarded(std::string name, json::Value arg) {
    enqueueCall(std::move(name), pagecall::Form::Guarded, std::move(arg));
}

void Bridge::callGuardedPositional(std::string name, json::Array args) {
    enqueueCall(std::move(name), pagecall::Form::GuardedPositional, json::Value(std::move(args)));
}

void Bridge::pushScript(std::string script) {
    // Held weakly, like every call: a bridge that is gone sends nothing.
    mainQueue_.post([weak = weak_from_this(), script = std::move(script)] {
        auto self = weak.lock();
        if (self && !self->closed_ && self->page_->alive()) self->page_->evaluate(script);
    });
}

void Bridge::callThen(std::string script, Done done) {
    mainQueue_.post([weak = weak_from_this(), script = std::move(script), done = std::move(done)]() mutable {
        auto self = weak.lock();
        if (!self || self->closed_ || !self->page_->alive()) return done(std::nullopt);
        self->page_->evaluateThen(script, std::move(done));
    });
}

void Bridge::carryThen(std::string body, std::string text, Done done) {
    mainQueue_.post(
        [weak = weak_from_this(), body = std::move(body), text = std::move(text), done = std::move(done)]() mutable {
            auto self = weak.lock();
            if (!self || self->closed_ || !self->page_->alive()) return done(std::nullopt);
            self->page_->carryThen(body, text, std::move(done));
        });
}

}  // namespace bridge
