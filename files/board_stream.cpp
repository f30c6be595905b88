// SPDX-License-Identifier: GPL-3.0-or-later
// A board sent in pieces. Serialising a board of a hundred megabytes and posting it as one message
// holds the page for seconds before the shell hears of the save; in pieces, the save starts at once:
// Begin shows the chooser, or makes the temporary file beside the board's own file, and each piece
// is written on the write queue as it comes. Pieces that arrive while the chooser is open wait in a
// spool (see PiecewiseWrite). The outcome is reported as any save's, once: written after End and
// the rename, cancelled (the chooser, or a board given up before its End), or failed (the first
// failed write; the board's file is never touched).
#include "common/default_stamp.h"
#include "common/log.h"
#include "common/paths.h"
#include "files/file_exchange.h"
#include "files/piecewise_write.h"

namespace files {

// Main thread only; its file is used by the jobs of the write queue alone, one at a time.
struct FileExchange::BoardStream {
    std::shared_ptr<PiecewiseWrite> file = std::make_shared<PiecewiseWrite>();
    std::optional<std::string> path;  // the target, once known
    bool inPlace = false;
    bool started = false;        // reported as started: its outcome will be reported
    bool ended = false;          // End has come
    bool finished = false;       // reported (or given up before it started)
    std::shared_ptr<void> hold;  // keeps the quit waiting while the chooser is open or the file is completed
};

void FileExchange::saveBoardBegin(std::optional<bridge::BoardTarget> to) {
    saveBoardAbort();  // a board still coming in is given up: the page has started another
    auto stream = std::make_shared<BoardStream>();
    receiving_ = stream;
    const auto& document = document_->path();
    if (document && to == bridge::BoardTarget::Document) {
        stream->path = *document;
        stream->inPlace = true;
        stream->started = true;
        started("saveJSON");
        streamJob(stream, [file = stream->file, path = *document] { return file->open(path); });
        return;
    }
    SaveChooser chooser{common::defaultStamp("TAVRIK", "json"), "json", ""};
    if (document && to == bridge::BoardTarget::Choose)
        chooser = {common::paths::lastComponent(*document), "json", folderOf(*document)};
    startIn(chooser, FileKind::Boards);
    stream->hold = quitHold_ ? quitHold_() : nullptr;
    bool shown = panels_->save(chooser, [weak = weak_from_this(), stream](std::optional<std::string> chosen) {
        if (auto self = weak.lock()) self->streamChosen(stream, std::move(chosen));
    });
    if (!shown) {
        // No window to show it on: nothing is written or reported, as for a whole board.
        stream->finished = true;
        stream->hold.reset();
        return;
    }
    stream->started = true;
    started("saveJSON");
    streamJob(stream, [file = stream->file] { return file->spool(); });
}

void FileExchange::saveBoardPiece(std::string piece) {
    auto stream = receiving_;
    if (!stream || stream->finished) return;
    streamJob(stream, [file = stream->file, piece = std::move(piece)] { return file->write(piece); });
}

void FileExchange::saveBoardEnd() {
    auto stream = std::exchange(receiving_, nullptr);
    if (!stream || stream->finished) return;
    stream->ended = true;
    if (!stream->path) return;  // completed once the chooser has answered
    streamCommit(stream);
}

void FileExchange::saveBoardAbort() {
    if (auto stream = std::exchange(receiving_, nullptr)) streamFinish(stream, SaveReason::Cancelled);
}

void FileExchange::streamJob(const std::shared_ptr<BoardStream>& stream, std::function<common::Status()> work,
                             std::function<void()> then) {
    enqueue(std::move(work), [weak = weak_from_this(), stream, then = std::move(then)](common::Status done) {
        auto self = weak.lock();
        if (!self || stream->finished) return;
        if (!done) {
            common::log::warning("save failed: " + done.error().message);
            self->beep();
            return self->streamFinish(stream, SaveReason::Failed);
        }
        if (then) then();
    });
}

void FileExchange::streamChosen(const std::shared_ptr<BoardStream>& stream, std::optional<std::string> chosen) {
    if (stream->finished) return;
    if (!chosen) return streamFinish(stream, SaveReason::Cancelled);
    chose(FileKind::Boards, *chosen);
    stream->path = withExtension(*chosen, "json");
    streamJob(stream, [file = stream->file, path = *stream->path] { return file->moveTo(path); });
    if (stream->ended) return streamCommit(stream);
    // The rest depends on the page sending it: a page that stops half-way must not keep the
    // application from ending.
    stream->hold.reset();
}

void FileExchange::streamCommit(const std::shared_ptr<BoardStream>& stream) {
    if (!stream->hold && quitHold_) stream->hold = quitHold_();
    streamJob(
        stream, [file = stream->file] { return file->commit(); },
        [weak = weak_from_this(), stream] {
            if (auto self = weak.lock()) self->streamFinish(stream, SaveReason::Written);
        });
}

void FileExchange::streamFinish(const std::shared_ptr<BoardStream>& stream, SaveReason reason) {
    if (stream->finished) return;
    stream->finished = true;
    if (receiving_ == stream) receiving_.reset();
    if (reason != SaveReason::Written) {
        // After the jobs already queued for it, which may still be using the file.
        enqueue(
            [file = stream->file] {
                file->discard();
                return common::Status(common::Ok{});
            },
            [](common::Status) {});
    }
    std::string name;
    if (reason == SaveReason::Written) {
        document_->set(*stream->path);  // written to it: the board's file, and the most recently used
        name = common::paths::lastComponent(*stream->path);
    }
    if (stream->started) report({"saveJSON", reason, name, stream->inPlace && reason == SaveReason::Written});
    stream->hold.reset();
}

}  // namespace files
