// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The render helper's output stream, read by the shell. Native-endian (same machine):
//   header: u32 magic, u32 n            n = pages of the document, of which the first kPageLimit
//                                       are attempted (0: not a PDF / no pages;
//                                       kLocked: a PDF that needs a password, and nothing follows;
//                                       kUnconfined: the helper could not confine itself and
//                                       rendered nothing)
//   frame:  u32 index, u32 length, length bytes of JPEG, one per page the helper was given, in
//           ascending index; length 0 means the page failed and is skipped.
#include <cstdint>

namespace files::wire {

inline constexpr std::uint32_t kMagic = 0x31525654;    // "TVR1"
inline constexpr std::uint32_t kMaxFrame = 64u << 20;  // larger than any 1920-px JPEG can be
inline constexpr std::uint32_t kLocked = 0xFFFFFFFF;
inline constexpr std::uint32_t kUnconfined = 0xFFFFFFFE;

// The helper's arguments after the program name: FIRST STRIDE MEMORY_MB PAGE_CPU_MS SANDBOX. It
// renders pages FIRST, FIRST + STRIDE, … of the PDF it reads on standard input, each within
// PAGE_CPU_MS of CPU time (counted and enforced by the shell; the helper only checks the value),
// confined unless SANDBOX is 0 (a benchmark's comparison only).
inline constexpr const char* kHelperName = "tavrik-render";

}  // namespace files::wire
