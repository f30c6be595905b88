#pragma once
// The JSON value the bridge passes around, and a writer that produces the same text as the
// platform serializer the page was written against: compact, non-ASCII as UTF-8, "/" as "\/".
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace json {

struct Value;
using Array = std::vector<Value>;
using Object = std::vector<std::pair<std::string, Value>>;  // insertion order kept; first key wins

struct Value {
    std::variant<std::nullptr_t, bool, double, std::string, Array, Object> v;

    Value() : v(nullptr) {}
    Value(std::nullptr_t) : v(nullptr) {}                  // NOLINT
    Value(bool b) : v(b) {}                                // NOLINT
    Value(double d) : v(d) {}                              // NOLINT
    Value(int i) : v(static_cast<double>(i)) {}            // NOLINT
    Value(long i) : v(static_cast<double>(i)) {}           // NOLINT
    Value(long long i) : v(static_cast<double>(i)) {}      // NOLINT
    Value(unsigned long i) : v(static_cast<double>(i)) {}  // NOLINT
    Value(std::string s) : v(std::move(s)) {}              // NOLINT
    Value(const char* s) : v(std::string(s)) {}            // NOLINT
    Value(std::string_view s) : v(std::string(s)) {}       // NOLINT
    Value(Array a) : v(std::move(a)) {}                    // NOLINT
    Value(Object o) : v(std::move(o)) {}                   // NOLINT

    bool isNull() const { return std::holds_alternative<std::nullptr_t>(v); }
    const bool* boolean() const { return std::get_if<bool>(&v); }
    const double* number() const { return std::get_if<double>(&v); }
    const std::string* string() const { return std::get_if<std::string>(&v); }
    std::string* string() { return std::get_if<std::string>(&v); }
    const Array* array() const { return std::get_if<Array>(&v); }
    const Object* object() const { return std::get_if<Object>(&v); }
    Object* object() { return std::get_if<Object>(&v); }

    // Member lookup on an object; null pointer when this is not an object or the key is absent.
    const Value* find(std::string_view key) const;
    // The member as a string, when it is one.
    const std::string* stringAt(std::string_view key) const;

    friend bool operator==(const Value&, const Value&) = default;
};

// Compact text; nothing when a number is not finite or a string is not valid UTF-8.
std::optional<std::string> write(const Value& value);

bool validUtf8(std::string_view s);

}  // namespace json
