// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/page_calls.h"

namespace bridge::pagecall {

std::optional<std::string> single(std::string_view name, const json::Value& payload) {
    auto j = json::write(payload);
    if (!j) return std::nullopt;
    std::string out;
    out.reserve(name.size() + j->size() + 10);
    out.append("window.").append(name).append("(").append(*j).append(")");
    return out;
}

std::optional<std::string> positional(std::string_view name, const json::Array& args) {
    auto j = json::write(json::Value(args));
    if (!j) return std::nullopt;
    std::string out;
    out.reserve(name.size() + 10 + args.size() * (j->size() + 8));
    out.append("window.").append(name).append("(");
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i) out.append(", ");
        out.append("(").append(*j).append(")[").append(std::to_string(i)).append("]");
    }
    out.append(")");
    return out;
}

std::optional<std::string> wrapped(std::string_view name, const json::Value& object) {
    auto j = json::write(object);
    if (!j) return std::nullopt;
    std::string out;
    out.reserve(name.size() + j->size() + 12);
    out.append("window.").append(name).append("((").append(*j).append("))");
    return out;
}

namespace {

bool carriable(const std::string& s, std::size_t minBytes) {
    return s.size() >= minBytes && s.find('\0') == std::string::npos && json::validUtf8(s);
}

// Writes `value` as JSON, except that carriable strings become the names a0, a1, ….
bool writeLifted(const json::Value& value, std::size_t minBytes, LiftedCall& call) {
    if (auto* s = value.string(); s && carriable(*s, minBytes)) {
        call.body.append("a").append(std::to_string(call.strings.size()));
        call.strings.push_back(s);
        return true;
    }
    if (auto* a = value.array()) {
        call.body.push_back('[');
        for (std::size_t i = 0; i < a->size(); ++i) {
            if (i) call.body.push_back(',');
            if (!writeLifted((*a)[i], minBytes, call)) return false;
        }
        call.body.push_back(']');
        return true;
    }
    if (auto* o = value.object()) {
        call.body.push_back('{');
        for (std::size_t i = 0; i < o->size(); ++i) {
            if (i) call.body.push_back(',');
            auto key = json::write(json::Value((*o)[i].first));
            if (!key) return false;
            call.body.append(*key).push_back(':');
            if (!writeLifted((*o)[i].second, minBytes, call)) return false;
        }
        call.body.push_back('}');
        return true;
    }
    auto leaf = json::write(value);
    if (!leaf) return false;
    call.body.append(*leaf);
    return true;
}

}  // namespace

std::optional<LiftedCall> lifted(std::string_view name, Form form, const json::Value& value, std::size_t minBytes) {
    LiftedCall call;
    bool guarded = form == Form::Guarded || form == Form::GuardedPositional;
    if (guarded) call.body.append("window.").append(name).append(" && ");
    call.body.append("window.").append(name).append("(");
    if (form == Form::Positional || form == Form::GuardedPositional) {
        auto* args = value.array();
        if (!args) return std::nullopt;
        for (std::size_t i = 0; i < args->size(); ++i) {
            if (i) call.body.append(", ");
            if (!writeLifted((*args)[i], minBytes, call)) return std::nullopt;
        }
    } else if (!writeLifted(value, minBytes, call)) {
        return std::nullopt;
    }
    call.body.append(")");
    if (call.strings.empty()) return std::nullopt;
    return call;
}

std::optional<std::string> text(std::string_view name, Form form, const json::Value& value) {
    switch (form) {
        case Form::Single:
            return single(name, value);
        case Form::Positional:
            if (auto* args = value.array()) return positional(name, *args);
            return std::nullopt;
        case Form::Wrapped:
            return wrapped(name, value);
        case Form::Guarded:
            if (auto call = single(name, value))
                return std::string("window.").append(name).append(" && ").append(*call);
            return std::nullopt;
        case Form::GuardedPositional:
            if (auto* args = value.array())
                if (auto call = positional(name, *args))
                    return std::string("window.").append(name).append(" && ").append(*call);
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace bridge::pagecall
