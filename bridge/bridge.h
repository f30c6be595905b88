// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include "bridge/commands.h"
#include "bridge/page_calls.h"
#include "bridge/page_channel.h"
#include "bridge/page_sink.h"
#include "common/json.h"
#include "common/main_queue.h"

namespace bridge {

// Receives every command message, checks its fields against the command's row and hands it to the
// Part that registered it; sends page calls for everyone through the main queue.
class Bridge : public PageSink, public std::enable_shared_from_this<Bridge> {
public:
    Bridge(common::MainQueue& mainQueue, std::shared_ptr<PageChannel> page);

    // Parts are created after the bridge (they hold it weakly), so they add their rows afterwards.
    CommandTable& commands() { return commands_; }

    // One script message body, dispatched through the table. Malformed messages are ignored: no
    // page call, no log.
    void receive(const json::Value& body);
    // The same for a message read for this call only: its big strings are moved to the handler.
    void receive(json::Value&& body);

    // window.__floatDrop(J) with the item records, unchanged and in order.
    void sendToPage(json::Array items);
    // window.__fileDrop && window.__fileDrop(J): a file-list drop, for a page that asked for them.
    void sendFileDrop(json::Value drop);

    bool alive() const override { return !closed_ && page_->alive(); }
    void pushFunction(std::string name, json::Value payload) override;
    void pushPositional(std::string name, json::Array args) override;
    void pushWrapped(std::string name, json::Value object) override;
    void callGuarded(std::string name, json::Value arg) override;
    void callGuardedPositional(std::string name, json::Array args) override;
    void pushScript(std::string script) override;
    void callThen(std::string script, Done done) override;
    void carryThen(std::string body, std::string text, Done done) override;

    PageChannel& page() { return *page_; }

    // Measured by bench_page_calls: below this a carried string costs more than parsing it.
    static constexpr std::size_t kDefaultLiftBytes = 1024;
    // Strings at least this long travel beside the call instead of inside its script text;
    // SIZE_MAX sends every call as text.
    void setLiftBytes(std::size_t bytes) { liftBytes_ = bytes; }

    // The shell is going away: later messages are ignored and page calls not yet sent are dropped.
    void close();

private:
    void enqueueCall(std::string name, pagecall::Form form, json::Value value);

    common::MainQueue& mainQueue_;
    std::shared_ptr<PageChannel> page_;
    CommandTable commands_;
    std::size_t liftBytes_ = kDefaultLiftBytes;
    bool closed_ = false;
};

}  // namespace bridge
