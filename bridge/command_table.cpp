// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/command_table.h"

#include "common/log.h"
#include "common/url.h"

namespace bridge {
namespace {

bool matches(const json::Value* v, FieldKind kind) {
    if (!v) return false;
    switch (kind) {
        case FieldKind::String:
            return v->isString();  // without making an encoded string's text
        case FieldKind::Number:
            return v->number() != nullptr;
        case FieldKind::StringList: {
            auto* list = v->array();
            if (!list || list->empty()) return false;
            for (auto& item : *list)
                if (!item.isString()) return false;
            return true;
        }
        case FieldKind::Url:
            return v->string() && common::url::parse(*v->string());
        case FieldKind::WebUrl: {
            auto url = v->string() ? common::url::parse(*v->string()) : std::nullopt;
            return url && (url->scheme == "http" || url->scheme == "https");
        }
    }
    return false;
}

}  // namespace

std::vector<std::string> Args::strings(std::string_view name) const {
    std::vector<std::string> out;
    for (auto& item : *message_.find(name)->array()) out.push_back(*item.string());
    return out;
}

std::string Args::strOr(std::string_view name, std::string fallback) const {
    auto* s = message_.stringAt(name);
    return s ? *s : std::move(fallback);
}

void CommandTable::add(Command row) {
    std::string action = row.action;
    rows_.insert_or_assign(std::move(action), std::move(row));
}

std::string Args::take(std::string_view name) const {
    if (owned_)
        if (json::Object* fields = owned_->object())
            for (auto& [key, value] : *fields)
                if (key == name)
                    if (std::string* s = value.string()) return std::move(*s);
    return str(name);
}

bool CommandTable::dispatch(json::Value&& message) const { return dispatch(message, &message); }

bool CommandTable::dispatch(const json::Value& message) const { return dispatch(message, nullptr); }

bool CommandTable::dispatch(const json::Value& message, json::Value* owned) const {
    if (!message.object()) return false;
    const std::string* action = message.stringAt("action");
    if (!action) return false;
    auto row = rows_.find(*action);
    if (row == rows_.end()) {
        common::log::debug("ignored a message: no command " + action->substr(0, 40));
        return false;
    }
    for (const Field& field : row->second.required)
        if (!matches(message.find(field.name), field.kind)) {
            common::log::debug("ignored " + *action + ": field " + field.name + " missing or malformed");
            return false;
        }
    common::log::debug("command " + *action);
    // A copy: the handler may replace its own row (a Part rebuilt on the spot).
    auto handler = row->second.handler;
    handler(Args(message, owned));
    return true;
}

}  // namespace bridge
