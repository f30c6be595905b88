// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/json_text.h"

#include <nlohmann/json.hpp>
#include <vector>

namespace testsupport {
namespace {

// Builds the value as the parser reports it, so nothing is reordered or merged on the way.
class Builder final : public nlohmann::json_sax<nlohmann::json> {
public:
    std::optional<json::Value> result;

    bool null() override { return add(nullptr); }
    bool boolean(bool b) override { return add(b); }
    bool number_integer(number_integer_t n) override { return add(static_cast<double>(n)); }
    bool number_unsigned(number_unsigned_t n) override { return add(static_cast<double>(n)); }
    bool number_float(number_float_t n, const string_t&) override { return add(static_cast<double>(n)); }
    bool string(string_t& s) override { return add(std::move(s)); }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override { return open(json::Object{}); }
    bool key(string_t& k) override {
        key_ = std::move(k);
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(json::Array{}); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    struct Open {
        json::Value value;
        std::string key;  // the member this container becomes, inside an object
    };
    std::vector<Open> stack_;
    std::string key_;

    bool add(json::Value v) {
        if (stack_.empty()) {
            result = std::move(v);
        } else if (auto* object = stack_.back().value.object()) {
            object->emplace_back(std::move(key_), std::move(v));
        } else {
            std::get<json::Array>(stack_.back().value.v).push_back(std::move(v));
        }
        return true;
    }
    bool open(json::Value container) {
        stack_.push_back({std::move(container), std::move(key_)});
        return true;
    }
    bool close() {
        Open done = std::move(stack_.back());
        stack_.pop_back();
        key_ = std::move(done.key);
        return add(std::move(done.value));
    }
};

}  // namespace

std::optional<json::Value> parseJson(std::string_view text) {
    Builder builder;
    if (!nlohmann::json::sax_parse(text.begin(), text.end(), &builder)) return std::nullopt;
    return builder.result;
}

}  // namespace testsupport
