// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A board's text handed to the page as window.__restoreNative(text), in pieces: the page gets the
// same one call with the whole text, but the shell never converts more than a few pieces at a
// time. WebKit turns a string argument into UTF-16 and then into its message form in the shell's
// process, about six times the text's size at once; a piece at a time keeps that to a few MiB,
// lets the window answer between pieces, and tells the page how far the open has come.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/page_sink.h"

namespace files {

// Bytes per piece for a text of `size` bytes: a sixteenth of it, from 512 KiB to 4 MiB. What WebKit
// holds for the two pieces in flight then stays under the text's own size, and a big board still
// goes in a few dozen calls, which cost little next to the page's parse (bench_big_board).
std::size_t pieceBytesFor(std::size_t size);

// Where `text` (valid UTF-8) is cut into pieces of at most `pieceBytes`, never inside a character:
// the offsets of each piece's start, then text.size(). One piece for an empty text.
std::vector<std::size_t> pieceCuts(std::string_view text, std::size_t pieceBytes);

// The body that hands piece `index` of `count` of handoff `id` to the page (its text is a0). The
// pieces are kept in the page under a symbol until the last one calls window.__restoreNative with
// them joined; each body answers true.
std::string pieceBody(unsigned long id, std::size_t index, std::size_t count);

// Hands `text` (valid UTF-8 without NUL) to the page, then names the board's file with
// window.__boardOpened(name), guarded. A board of several pieces shows its progress with
// window.__openProgress(name, fraction), guarded, before each piece. `then` runs once, when the
// page has run the last piece or a piece could not be handed (the page reloaded or went away).
// `pieceBytes` 0 takes pieceBytesFor(text.size()).
void handBoard(std::weak_ptr<bridge::PageSink> page, std::string text, std::string name, std::function<void()> then,
               std::size_t pieceBytes = 0);

}  // namespace files
