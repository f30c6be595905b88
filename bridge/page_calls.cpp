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

std::string guarded(std::string_view name, std::string_view arg) {
    std::string out;
    out.append("window.").append(name).append(" && window.").append(name).append("('").append(arg).append("')");
    return out;
}

}  // namespace bridge::pagecall
