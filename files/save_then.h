// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Save, then carry on", in one place: opening a file over unsaved work, and quitting after "Save",
// go on only once the page's save has ended and the page has taken the report of how it ended.
// Built on the file exchange's save observers; the page is asked to save as File ▸ Save asks it.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "bridge/page_sink.h"
#include "files/file_exchange.h"

namespace files {

// Asks the page to save its board exactly as the File menu's Save item does, and answers true only
// when the page can be told how the save ended (it defines window.__saveResult).
inline constexpr const char* kSaveAsTheMenuDoes =
    "typeof window.__saveResult === 'function' && typeof saveJSON === 'function' && (saveJSON(), true)";

class SaveThen : public std::enable_shared_from_this<SaveThen> {
public:
    // Runs `task` once after `delay`, on the main thread.
    using After = std::function<void(std::chrono::milliseconds delay, std::function<void()> task)>;
    using Done = std::function<void(SaveReason)>;

    struct Limits {
        // How long the page's save may take to show its chooser before the wait is given up.
        std::chrono::milliseconds start{5000};
    };

    SaveThen(std::weak_ptr<bridge::PageSink> page, After after) : SaveThen(std::move(page), std::move(after), {}) {}
    SaveThen(std::weak_ptr<bridge::PageSink> page, After after, Limits limits)
        : page_(std::move(page)), after_(std::move(after)), limits_(limits) {}

    // The file exchange's observers: a save showed its chooser; a save ended.
    void started(const std::string& action);
    void ended(const SaveOutcome& outcome);

    // Told each outcome once the page has taken its report. Main thread.
    void setSettledObserver(std::function<void(const SaveOutcome&)> observer) { settled_ = std::move(observer); }
    // Saves whose chooser is open, whose file is being written, or whose report the page has not
    // taken yet.
    std::size_t inProgress() const { return inProgress_; }

    // Runs the page's own save of its board and answers `done` once, after the page has taken the
    // report: Written, Cancelled or Failed as the save ended. A page that does not define
    // window.__saveResult, or whose save shows no chooser within Limits::start, is given up on with
    // Cancelled, as if the user had cancelled. One at a time: a request while one runs, or without
    // a page, is answered Cancelled at once.
    void saveThen(Done done);

private:
    enum class State { Idle, Asking, Waiting, Saving };
    void onAsked(std::optional<bool> saving);
    void finish(SaveReason reason);

    std::weak_ptr<bridge::PageSink> page_;
    After after_;
    Limits limits_;
    std::function<void(const SaveOutcome&)> settled_;
    std::size_t inProgress_ = 0;
    State state_ = State::Idle;
    std::uint64_t phase_ = 0;  // bumped at each request, so an old time limit is dropped
    Done done_;
};

}  // namespace files
