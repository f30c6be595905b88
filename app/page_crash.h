// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the shell does when the page's web process ends under it.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

#include "app/quit_confirmation.h"

namespace app {

// Why the web process ended, as far as this decision cares.
enum class PageEnd {
    Crashed,     // a crash, a kill from outside, or the engine's memory limit
    ByTheShell,  // the shell ended it on purpose and knows what it does next
};

// A dead page shows a frozen picture that answers nothing, so the user is told at once and
// chooses: "Reload" (the page comes back and offers its recovery copy) or "Quit". The first crash
// also reloads on its own; a page that crashes again within a minute is not reloaded until the
// user says so, so a page that crashes while loading cannot spin.
class PageCrash : public std::enable_shared_from_this<PageCrash> {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    struct Deps {
        std::shared_ptr<QuitAlert> alert;
        Translate t;
        std::function<void()> reload;
        std::function<void()> quit;            // the ordinary quit request
        std::function<bool()> quitInProgress;  // a quit deals with a dead page itself
        Clock now;
    };
    static constexpr std::chrono::seconds kCrashLoop{60};

    explicit PageCrash(Deps deps) : deps_(std::move(deps)) {}

    void terminated(PageEnd why);
    // A new page has been committed (after a reload, ours or the user's).
    void pageLoaded() { reloadOwed_ = false; }

    bool alertShown() const { return shown_; }

private:
    void onChoice(std::size_t button);

    Deps deps_;
    std::optional<std::chrono::steady_clock::time_point> lastCrash_;
    bool shown_ = false;
    bool reloadOwed_ = false;  // the page has crashed and nothing has been loaded since
};

}  // namespace app
