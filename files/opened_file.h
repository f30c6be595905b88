// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bringing a file into the page, in one place: a board or a PDF chosen in an Open chooser, or given
// from outside the window (the command line, "Open With", a second start).
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "bridge/page_sink.h"
#include "common/limits.h"

namespace files {

// Boards up to this size are read; a larger file is no board this page could hold anyway.
inline constexpr std::size_t kBoardLimit = 1024u * 1024u * 1024u;
// PDFs open as paper up to the limit of everything the page is handed whole.
inline constexpr std::size_t kPaperLimit = common::kPageFileLimit;

// What a path holds, read whole.
struct OpenedFile {
    enum class Kind { Board, Pdf, Missing, Directory, Unreadable, TooLarge, NotBoard } kind;
    std::string name;     // the last component, as display text
    std::string content;  // Board: the document's text; Pdf: a data URL
    bool pdf = false;     // TooLarge: it was read as a PDF
};

// What the reader expects: the Open chooser's board, the paper chooser's PDF, or, for a file given
// from outside, whichever it is (a PDF by its extension or its first bytes; a board is a JSON
// object).
enum class Want { Board, Pdf, Either };

OpenedFile readForPage(const std::string& path, Want want);

// The name of a failure as the page's __openFailed takes it; empty for the kinds that open.
const char* openFailure(OpenedFile::Kind kind);

// How a file that cannot be opened is answered: only logged, or reported to the page (the choosers
// and files from outside report: a file can vanish or change kind after the chooser showed it).
enum class Failures { Log, Report };

// The one delivery: a board replaces the page's board and names its file, a PDF comes as paper, a
// PDF over the limit gets the page's toast. A board goes in pieces (files/board_handoff.h); `then`
// runs once the page has it, or at once for anything else, so that files opened one after another
// reach the page in their order.
void deliverToPage(const std::shared_ptr<bridge::PageSink>& page, OpenedFile file, Failures failures,
                   std::function<void()> then = {});

}  // namespace files
