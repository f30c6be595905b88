// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/board_handoff.h"

#include <algorithm>
#include <atomic>

#include "common/json.h"

namespace files {

std::size_t pieceBytesFor(std::size_t size) { return std::clamp<std::size_t>(size / 16, 512u * 1024u, 4u << 20); }

std::vector<std::size_t> pieceCuts(std::string_view text, std::size_t pieceBytes) {
    std::vector<std::size_t> cuts{0};
    const std::size_t step = pieceBytes < 4 ? 4 : pieceBytes;  // room for any one character
    while (text.size() - cuts.back() > step) {
        std::size_t at = cuts.back() + step;
        // Back to the first byte of a character: continuation bytes are 10xxxxxx.
        while ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
        cuts.push_back(at);
    }
    cuts.push_back(text.size());
    return cuts;
}

std::string pieceBody(unsigned long id, std::size_t index, std::size_t count) {
    if (count == 1) return "window.__restoreNative(a0); return true;";
    const std::string key = std::to_string(id);
    std::string body = "const k = Symbol.for('tavrik.board'); const m = globalThis[k] || (globalThis[k] = new Map());";
    if (index + 1 < count) {
        body += " const p = m.get(" + key + ") || []; p.push(a0); m.set(" + key + ", p); return true;";
        return body;
    }
    // A page that reloaded meanwhile has lost the earlier pieces: it gets nothing rather than a part.
    body += " const p = m.get(" + key + "); m.delete(" + key +
            "); if (!p || p.length !== " + std::to_string(count - 1) +
            ") return false; p.push(a0); const text = p.join(''); p.length = 0;" +
            " window.__restoreNative(text); return true;";
    return body;
}

namespace {

// Pieces the page may be converting at once: one arriving while the one before is stored keeps the
// page busy without piling pieces up in the shell.
constexpr std::size_t kInFlight = 2;

std::atomic<unsigned long> nextId{1};

class Handoff : public std::enable_shared_from_this<Handoff> {
public:
    Handoff(std::weak_ptr<bridge::PageSink> page, std::string text, std::string name, std::function<void()> then,
            std::size_t pieceBytes)
        : page_(std::move(page)), text_(std::move(text)), name_(std::move(name)), then_(std::move(then)) {
        cuts_ = pieceCuts(text_, pieceBytes ? pieceBytes : pieceBytesFor(text_.size()));
    }

    void start() { send(); }

private:
    std::size_t pieces() const { return cuts_.size() - 1; }

    void progress(bridge::PageSink& page, double fraction) {
        page.callGuardedPositional("__openProgress", json::Array{name_, fraction});
    }

    // Sends what may be in flight, then ends the handoff once every piece is in or one failed. An
    // answer that comes inside carryThen is only counted: this loop goes on from it.
    void send() {
        if (done_ || sending_) return;
        sending_ = true;
        auto page = page_.lock();
        if (!page) failed_ = true;
        while (!failed_ && sent_ < pieces() && sent_ - answered_ < kInFlight) {
            const std::size_t i = sent_++;
            // Before each piece, never after the last: a sign of progress must not follow the board.
            if (pieces() > 1) progress(*page, static_cast<double>(cuts_[i]) / static_cast<double>(cuts_.back()));
            std::string piece = text_.substr(cuts_[i], cuts_[i + 1] - cuts_[i]);
            if (sent_ == pieces()) std::string().swap(text_);  // the last copy: the text is not needed any more
            page->carryThen(pieceBody(id_, i, pieces()), std::move(piece),
                            [self = shared_from_this()](std::optional<bool> ok) { self->answered(ok); });
            if (sent_ == pieces()) page->callGuarded("__boardOpened", name_);
        }
        sending_ = false;
        if (failed_ || answered_ == pieces()) finish();
    }

    void answered(std::optional<bool> ok) {
        if (done_) return;
        if (ok == std::optional<bool>(true))
            ++answered_;
        else
            failed_ = true;
        send();
    }

    void finish() {
        done_ = true;
        std::string().swap(text_);
        if (then_) then_();
    }

    std::weak_ptr<bridge::PageSink> page_;
    std::string text_, name_;
    std::function<void()> then_;
    std::vector<std::size_t> cuts_;
    const unsigned long id_ = nextId++;
    std::size_t sent_ = 0, answered_ = 0;
    bool done_ = false, failed_ = false, sending_ = false;
};

}  // namespace

void handBoard(std::weak_ptr<bridge::PageSink> page, std::string text, std::string name, std::function<void()> then,
               std::size_t pieceBytes) {
    std::make_shared<Handoff>(std::move(page), std::move(text), std::move(name), std::move(then), pieceBytes)->start();
}

}  // namespace files
