// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small Result<T>: std::expected needs C++23 and we build with C++20.
#include <string>
#include <utility>
#include <variant>

namespace common {

struct Error {
    enum class Kind { Io, Decode, Network, Keychain, Crypto, Cancelled, Other };
    Kind kind = Kind::Other;
    std::string message;
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::move(value)) {}      // NOLINT: implicit on purpose
    Result(Error error) : v_(std::move(error)) {}  // NOLINT
    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const Error& error() const { return std::get<1>(v_); }

private:
    std::variant<T, Error> v_;
};

struct Ok {};
using Status = Result<Ok>;

}  // namespace common
