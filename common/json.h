// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The JSON value the bridge passes around, and a writer that produces the same text as the
// platform serializer the page was written against: compact, non-ASCII as UTF-8, "/" as "\/".
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "common/bytes.h"

namespace json {

// A long base64 string the page sent, kept as the bytes it encodes (the engine decoded them while
// reading the message): its text, prefix + base64(bytes), is made only when someone reads it, so a
// handler that wants the bytes skips encoding and decoding 25 MB again. Copies share one state.
class EncodedString {
public:
    EncodedString(std::string prefix, common::Bytes bytes);
    const std::string& prefix() const;
    const common::Bytes& bytes() const;
    // The bytes, kept alive for as long as the caller holds them (a render on a worker thread).
    std::shared_ptr<const common::Bytes> sharedBytes() const;
    // Made on the first call; safe from any thread.
    const std::string& text() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

struct Value;
using Array = std::vector<Value>;
using Object = std::vector<std::pair<std::string, Value>>;  // insertion order kept; first key wins

struct Value {
    std::variant<std::nullptr_t, bool, double, std::string, Array, Object, EncodedString> v;

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
    Value(EncodedString e) : v(std::move(e)) {}            // NOLINT

    bool isNull() const { return std::holds_alternative<std::nullptr_t>(v); }
    const bool* boolean() const { return std::get_if<bool>(&v); }
    const double* number() const { return std::get_if<double>(&v); }
    bool isString() const { return std::holds_alternative<std::string>(v) || encoded(); }
    // The text of a string, an encoded one included (made then, once).
    const std::string* string() const;
    // For changing the string in place: an encoded string becomes plain text first.
    std::string* string();
    // A string still held as its decoded bytes; null for plain text and for every other kind.
    const EncodedString* encoded() const { return std::get_if<EncodedString>(&v); }
    const Array* array() const { return std::get_if<Array>(&v); }
    const Object* object() const { return std::get_if<Object>(&v); }
    Object* object() { return std::get_if<Object>(&v); }

    // Member lookup on an object; null pointer when this is not an object or the key is absent.
    const Value* find(std::string_view key) const;
    // The member as a string, when it is one.
    const std::string* stringAt(std::string_view key) const;

    // Strings compare by their text, however they are held.
    friend bool operator==(const Value& a, const Value& b);
};

// Compact text; nothing when a number is not finite or a string is not valid UTF-8.
std::optional<std::string> write(const Value& value);

bool validUtf8(std::string_view s);

}  // namespace json
