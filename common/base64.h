// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "common/bytes.h"

namespace common::base64 {

constexpr std::size_t encodedSize(std::size_t n) { return (n + 2) / 3 * 4; }
// Writes encodedSize(size) letters at `out`; returns the end.
char* encodeTo(const std::uint8_t* data, std::size_t size, char* out);

// Standard alphabet, "=" padding, no line breaks.
std::string encode(const std::uint8_t* data, std::size_t size);
inline std::string encode(const Bytes& b) { return encode(b.data(), b.size()); }
// Appends to `out` (lets a data URL prefix share the buffer instead of copying 25 MiB again).
void encodeAppend(const std::uint8_t* data, std::size_t size, std::string& out);

// Strict RFC 4648: length a multiple of four, only the 64 letters and up to two trailing "=".
// Anything else (spaces, line breaks, URL-safe letters, missing padding) fails.
std::optional<Bytes> decode(std::string_view text);
bool decodeAppend(std::string_view text, Bytes& out);

}  // namespace common::base64
