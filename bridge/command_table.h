// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command table: one row per page command, with the fields it requires and their kinds, and
// the handler of the Part that registered it. A message whose action has no row, or that lacks a
// required field or has one of the wrong kind, is ignored. Main thread only.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/json.h"

namespace bridge {

enum class FieldKind {
    String,
    Number,
    StringList,  // a non-empty array of strings
    Url,         // a string that parses as a URL reference (see url.h)
    WebUrl,      // a Url whose scheme is http or https
};

struct Field {
    std::string name;
    FieldKind kind;
};

// A message whose row's required fields are all there and of their kinds.
class Args {
public:
    // `owned` is the same message when the dispatcher owns it: take() may then move out of it.
    explicit Args(const json::Value& message, json::Value* owned = nullptr) : message_(message), owned_(owned) {}
    // A required string (String, Url or WebUrl) field.
    const std::string& str(std::string_view name) const { return *message_.stringAt(name); }
    // The same, moved out of a message nothing reads after its handler (a board's text of a
    // hundred megabytes is not copied); copied otherwise. Read every other field first.
    std::string take(std::string_view name) const;
    // A required string field as it came, for a handler that can take an encoded string's bytes.
    const json::Value& value(std::string_view name) const { return *message_.find(name); }
    double number(std::string_view name) const { return *message_.find(name)->number(); }
    std::vector<std::string> strings(std::string_view name) const;
    // An optional string field, or the fallback when it is absent or not a string.
    std::string strOr(std::string_view name, std::string fallback) const;
    const json::Value& message() const { return message_; }

private:
    const json::Value& message_;
    json::Value* owned_;
};

struct Command {
    std::string action;
    std::vector<Field> required;
    std::function<void(const Args&)> handler;
};

class CommandTable {
public:
    // A row for an action already present replaces it.
    void add(Command row);
    void clear() { rows_.clear(); }
    void remove(std::string_view action) {
        if (auto it = rows_.find(action); it != rows_.end()) rows_.erase(it);
    }
    bool has(std::string_view action) const { return rows_.find(action) != rows_.end(); }
    // Runs the row's handler when the message has an action with a row and every required field.
    bool dispatch(const json::Value& message) const;
    // The same for a message the table may take strings out of (see Args::take).
    bool dispatch(json::Value&& message) const;

private:
    bool dispatch(const json::Value& message, json::Value* owned) const;
    std::map<std::string, Command, std::less<>> rows_;
};

// A handler that reaches its Part through a weak pointer: a Part that is gone takes no command.
template <class Part, class Call>
std::function<void(const Args&)> weakly(std::weak_ptr<Part> part, Call call) {
    return [part = std::move(part), call = std::move(call)](const Args& args) {
        if (auto p = part.lock()) call(*p, args);
    };
}

}  // namespace bridge
