#pragma once
// Asking the page about unsaved content before the application ends.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "bridge/page_channel.h"
#include "common/main_queue.h"
#include "webpolicy/shell_ui.h"

namespace app {

using Translate = std::function<std::string(const std::string& key)>;

inline constexpr const char* kQuitQuery = "!!(window.__quitHasContentU && window.__quitHasContentU())";
inline constexpr const char* kQuitFlush = "window.__quitFlushU && window.__quitFlushU()";
inline constexpr const char* kQuitDiscard = "window.__quitDiscardU && window.__quitDiscardU()";

// The native alert that offers save, don't save and cancel.
class QuitAlert {
public:
    virtual ~QuitAlert() = default;
    // Shows the alert in front of the main window and answers once, later, on the main thread, with
    // the index of the chosen button; any other way of closing it answers the last button.
    virtual void show(const webpolicy::AlertContent& content, std::function<void(std::size_t button)> answer) = 0;
};

// Every request to end the application comes here. The page decides whether there is anything to
// save; a page that cannot answer (missing, throwing, crashed or hung) never keeps the user from
// quitting.
class QuitConfirmation : public std::enable_shared_from_this<QuitConfirmation> {
public:
    enum class State { Idle, Querying, AlertScheduled, Asking, Saving, Discarding, Ended };

    // Runs `task` once after `delay`, on the main thread.
    using After = std::function<void(std::chrono::milliseconds delay, std::function<void()> task)>;

    struct Deps {
        common::MainQueue& mainQueue;
        std::shared_ptr<bridge::PageChannel> page;  // null when there is no bridge
        std::shared_ptr<QuitAlert> alert;
        Translate t;
        std::function<void()> terminate;  // ends the application; called at most once
        After after;                      // empty: page calls are waited for without a limit
        // Brings a dialog of the page's own (alert, confirm, prompt) to the front and answers true
        // when one is open. The page's script is blocked in it, so it cannot answer until the user
        // has answered that dialog; waiting then is not a hang. Empty: there never is one.
        std::function<bool()> showPageDialog;
    };

    // How long a hung page may hold up quitting. The query is one synchronous call, so a page that
    // has not answered within a few seconds is not going to; saving gets longer, as it may write.
    struct Limits {
        std::chrono::milliseconds query{3000};
        std::chrono::milliseconds pageCall{10000};
    };

    explicit QuitConfirmation(Deps deps) : QuitConfirmation(std::move(deps), Limits{}) {}
    QuitConfirmation(Deps deps, Limits limits) : deps_(std::move(deps)), limits_(limits) {}

    // A request while one is already being decided is ignored: that one settles it. So is a request
    // while the page shows a dialog of its own: the user answers that first.
    void requestQuit();

    // The page's web process has ended (crashed or killed): nothing can be saved any more and the
    // page can no longer answer, so quitting no longer waits for it.
    void pageTerminated();
    // A new page has been loaded after a crash.
    void pageRestarted() { pageDead_ = false; }

    State state() const { return state_; }

private:
    void onQueryAnswer(std::optional<bool> unsaved);
    void confirmQuit();
    void onChoice(std::size_t button);
    void callPageThenEnd(const char* script);
    void armLimit(std::chrono::milliseconds limit);
    // Runs `step` only if the object is alive and no later phase has begun.
    template <class Step>
    auto guarded(Step step);
    void end();

    Deps deps_;
    Limits limits_;
    State state_ = State::Idle;
    std::uint64_t phase_ = 0;  // bumped at each phase, so late answers and old limits are dropped
    bool pageDead_ = false;
};

}  // namespace app
