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

// Bytes per piece: measured by bench_big_board, large enough that the calls cost little next to
// the page's parse, small enough that a piece in flight costs the shell little.
inline constexpr std::size_t kBoardPieceBytes = 2u * 1024u * 1024u;

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
void handBoard(std::weak_ptr<bridge::PageSink> page, std::string text, std::string name, std::function<void()> then,
               std::size_t pieceBytes = kBoardPieceBytes);

}  // namespace files
