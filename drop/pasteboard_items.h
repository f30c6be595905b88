// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turns what a pasteboard holds into item records for the page: files, else one image, else one
// text, never a mixture.
#include <cstdint>
#include <ctime>

#include "common/json.h"
#include "common/limits.h"
#include "drop/pasteboard.h"

namespace drop::PasteboardItems {

// Files larger than this are skipped; a file of exactly this size is taken.
inline constexpr std::uint64_t kMaxFileBytes = common::kPageFileLimit;

// Item records: {"kind":"file","name","mime","dataUrl"} or {"kind":"text","text"}. Never fails;
// whatever cannot be read is skipped, so the list may be empty.
json::Array collect(const Pasteboard& pasteboard);
// The same, naming a pasted image after the given local time.
json::Array collectAt(const Pasteboard& pasteboard, std::time_t now);

// What a page that takes drops is given: the file records, each followed by nothing else, then a
// {"kind":"refused","name","reason":"tooLarge"} record for each file over the limit; without
// files, one image; without one, a text record for each link; without links, one text. File names
// that are not UTF-8 arrive with U+FFFD in place of each stray byte.
json::Array collectForPage(const Pasteboard& pasteboard);
json::Array collectForPageAt(const Pasteboard& pasteboard, std::time_t now);

}  // namespace drop::PasteboardItems
