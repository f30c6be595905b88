// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Asking the page about unsaved content before the application ends.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "bridge/page_sink.h"
#include "common/main_queue.h"
#include "webpolicy/shell_ui.h"

namespace app {

using Translate = std::function<std::string(const std::string& key)>;

inline constexpr const char* kQuitQuery = "!!(window.__quitHasContentU && window.__quitHasContentU())";
inline constexpr const char* kQuitFlush = "window.__quitFlushU && window.__quitFlushU()";
inline constexpr const char* kQuitDiscard = "window.__quitDiscardU && window.__quitDiscardU()";

// The native alerts of quitting: the save choice, and the page not responding.
class QuitAlert {
public:
    virtual ~QuitAlert() = default;
    // Shows the alert in front of the main window and answers once, later, on the main thread, with
    // the index of the chosen button; Escape or any other way of closing it answers
    // `content.closeAnswer`, else the last button.
    virtual void show(const webpolicy::AlertContent& content, std::function<void(std::size_t button)> answer) = 0;
    // Closes the alert shown last if it is still open. Its answer may still come; the caller has
    // stopped listening for it.
    virtual void dismiss() = 0;
};

// Every request to end the application comes here. The page decides whether there is anything to
// save. A page that cannot answer because its process has gone never keeps the user from quitting;
// a live page that is slow or hung is never given up on silently: the user is asked whether to wait.
class QuitConfirmation : public std::enable_shared_from_this<QuitConfirmation> {
public:
    enum class State { Idle, Querying, AlertScheduled, Asking, Saving, Discarding, AwaitingSave, Ended };

    // Runs `task` once after `delay`, on the main thread.
    using After = std::function<void(std::chrono::milliseconds delay, std::function<void()> task)>;

    struct Deps {
        common::MainQueue& mainQueue;
        std::shared_ptr<bridge::PageSink> page;  // null when there is no bridge
        std::shared_ptr<QuitAlert> alert;
        Translate t;
        std::function<void()> terminate;  // ends the application; called at most once
        After after;                      // empty: the page is waited for without ever asking
        // Brings a dialog of the page's own (alert, confirm, prompt) to the front and answers true
        // when one is open. The page's script is blocked in it, so it cannot answer until the user
        // has answered that dialog; waiting then is not a hang. Empty: there never is one.
        std::function<bool()> showPageDialog;
        // Saves whose chooser is still open, whose file is still being written, or whose report the
        // page has not taken yet. Empty: none.
        std::function<std::size_t()> savesInProgress;
    };

    // How long the page may take to answer before the user is asked whether to keep waiting.
    struct Limits {
        std::chrono::milliseconds unresponsive{3000};
    };

    explicit QuitConfirmation(Deps deps) : QuitConfirmation(std::move(deps), Limits{}) {}
    QuitConfirmation(Deps deps, Limits limits) : deps_(std::move(deps)), limits_(limits) {}

    // A request while one is already being decided is ignored: that one settles it. So is a request
    // while the page shows a dialog of its own: the user answers that first.
    void requestQuit();
    // A request that insists (a second SIGTERM): while an alert of the quit is shown, the
    // application ends without waiting for it; otherwise it is an ordinary request.
    void insist();

    // The page's web process has ended (crashed or killed): nothing can be saved any more and the
    // page can no longer answer, so quitting no longer waits for it.
    void pageTerminated();
    // A new page has been loaded after a crash.
    void pageRestarted() { pageDead_ = false; }
    // The engine reports the page unresponsive: while the quit waits for it, ask the user now.
    void pageUnresponsive();
    // A save chooser ended or its file was written or failed, and the page has taken the report.
    // After "Save" at quit, a save that is not written cancels the quit: the board stays open rather
    // than being lost.
    void saveSettled(bool written);

    State state() const { return state_; }
    bool notRespondingShown() const { return stallShown_; }

private:
    void onQueryAnswer(std::optional<bool> unsaved);
    void confirmQuit();
    void onChoice(std::size_t button);
    void callPage(const char* script);
    void afterPageCall();
    void keepRunning();
    // Starts (again) the wait for the page's answer; when it runs out the user is asked.
    void watchPage();
    void pageAnswered();
    void onStall();
    void onStallChoice(std::size_t button);
    bool waitingForPage() const;
    // Runs `step` only if the object is alive and no later phase has begun.
    template <class Step>
    auto guarded(Step step);
    // The same, and only while the same wait for the page goes on.
    template <class Step>
    auto guardedWait(Step step);
    void end();

    Deps deps_;
    Limits limits_;
    State state_ = State::Idle;
    std::uint64_t phase_ = 0;  // bumped at each phase, so late answers and old limits are dropped
    std::uint64_t wait_ = 0;   // bumped at each wait for the page, so old limits and alerts are dropped
    bool stallShown_ = false;
    // A save that was not written ended while the page's save call was still being evaluated.
    bool flushSaveFailed_ = false;
    bool pageDead_ = false;
};

}  // namespace app
