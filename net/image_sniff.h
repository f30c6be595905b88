// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>
#include <optional>
#include <string>

#include "common/bytes.h"
#include "common/limits.h"

namespace net {

inline constexpr std::size_t kImageMaxBytes = common::kPageFileLimit;
inline constexpr const char* kNotAnImageText = "响应不是图片或超过 25MB";

// The MIME type of a body from its first 12 bytes: BMP, GIF, WebP, PNG or JPEG. Nothing for a body
// under 12 bytes, over kImageMaxBytes, or with another signature.
std::optional<std::string> sniffImage(const common::Bytes& body);

}  // namespace net
