// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>

namespace common {

// The largest file the page is handed whole: a PDF opened as paper or from outside, a dropped or
// pasted file, a fetched image. Exactly this many bytes are accepted.
inline constexpr std::size_t kPageFileLimit = 26'214'400;  // 25 MiB

}  // namespace common
