// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The render helper's streams. Native-endian (same machine).
// Standard input, a UNIX stream socket from the shell:
//   the PDF:  u32 magic with the sealed PDF file's descriptor attached (SCM_RIGHTS), once;
//   pages:    u32 index, one per page wanted, in the order wanted; the shell closes the socket
//             when it wants no more, and the helper ends.
// Standard output, a pipe to the shell:
//   header: u32 magic, u32 n            n = pages of the document, of which the first kPageLimit
//                                       may be asked for (0: not a PDF / no pages;
//                                       kLocked: a PDF that needs a password, and nothing follows;
//                                       kUnconfined: the helper could not confine itself and
//                                       rendered nothing)
//   frame:  u32 index, u32 length, length bytes of JPEG, one per page asked for, in the order
//           asked; length 0 means the page failed (or is not among those) and is skipped.
#include <cstdint>

namespace files::wire {

inline constexpr std::uint32_t kMagic = 0x31525654;    // "TVR1"
inline constexpr std::uint32_t kMaxFrame = 64u << 20;  // larger than any 1920-px JPEG can be
inline constexpr std::uint32_t kLocked = 0xFFFFFFFF;
inline constexpr std::uint32_t kUnconfined = 0xFFFFFFFE;

// The helper's arguments after the program name: MEMORY_MB PAGE_CPU_MS SANDBOX. It renders each
// page within PAGE_CPU_MS of CPU time (counted and enforced by the shell; the helper only checks
// the value), confined unless SANDBOX is 0 (a benchmark's comparison only). It may be started
// before there is a PDF: it prepares what every document needs, then waits for one.
inline constexpr const char* kHelperName = "tavrik-render";

}  // namespace files::wire
