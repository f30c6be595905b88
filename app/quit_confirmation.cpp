// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/quit_confirmation.h"

namespace app {

template <class Step>
auto QuitConfirmation::guarded(Step step) {
    return [weak = weak_from_this(), phase = phase_, step = std::move(step)](auto&&... args) {
        auto self = weak.lock();
        if (!self || self->phase_ != phase) return;
        step(*self, std::forward<decltype(args)>(args)...);
    };
}

template <class Step>
auto QuitConfirmation::guardedWait(Step step) {
    return guarded([wait = wait_, step = std::move(step)](QuitConfirmation& self, auto&&... args) {
        if (self.wait_ != wait) return;
        step(self, std::forward<decltype(args)>(args)...);
    });
}

void QuitConfirmation::requestQuit() {
    if (state_ != State::Idle) return;
    if (deps_.showPageDialog && deps_.showPageDialog()) return;
    if (!deps_.page || !deps_.page->alive() || pageDead_) return end();
    state_ = State::Querying;
    ++phase_;
    deps_.page->callThen(
        kQuitQuery, guarded([](QuitConfirmation& self, std::optional<bool> unsaved) { self.onQueryAnswer(unsaved); }));
    watchPage();
}

void QuitConfirmation::insist() {
    if (state_ == State::Asking || stallShown_) return end();
    requestQuit();
}

void QuitConfirmation::onQueryAnswer(std::optional<bool> unsaved) {
    if (state_ != State::Querying) return;
    pageAnswered();
    // Only the boolean true means unsaved content; anything else quits without asking.
    if (unsaved != std::optional<bool>(true)) return end();
    state_ = State::AlertScheduled;
    ++phase_;
    // The alert comes after the answer's own handling has returned.
    deps_.mainQueue.post(guarded([](QuitConfirmation& self) { self.confirmQuit(); }));
}

void QuitConfirmation::confirmQuit() {
    if (state_ != State::AlertScheduled) return;
    if (!deps_.alert) return end();
    state_ = State::Asking;
    ++phase_;
    const Translate& t = deps_.t;
    webpolicy::AlertContent content;
    content.message = t("保存画布？");
    content.detail = t("画布还有未保存的内容，退出前要保存吗？");
    content.buttons = {t("保存"), t("不保存"), t("取消")};
    content.warning = true;
    deps_.alert->show(content, guarded([](QuitConfirmation& self, std::size_t button) { self.onChoice(button); }));
}

void QuitConfirmation::onChoice(std::size_t button) {
    if (state_ != State::Asking) return;
    switch (button) {
        case 0:
            state_ = State::Saving;
            flushSaveFailed_ = false;
            return callPage(kQuitFlush);
        case 1:
            state_ = State::Discarding;
            return callPage(kQuitDiscard);
        default:
            // Cancel: everything stays as it was, and the next request asks the page again.
            state_ = State::Idle;
            ++phase_;
            return;
    }
}

void QuitConfirmation::callPage(const char* script) {
    ++phase_;
    // Without a page nothing can be saved or dropped any more; the user still asked to quit.
    if (!deps_.page || pageDead_) return end();
    // Whatever the page returned or threw, it has finished its synchronous part.
    deps_.page->callThen(script, guarded([](QuitConfirmation& self, std::optional<bool>) { self.afterPageCall(); }));
    watchPage();
}

void QuitConfirmation::afterPageCall() {
    pageAnswered();
    if (state_ != State::Saving) return end();
    // A page that saves by showing a save chooser has opened it by now (its command arrived before
    // the evaluation finished). Quitting then waits for what the user does with it.
    if (flushSaveFailed_) return keepRunning();
    if (deps_.savesInProgress && deps_.savesInProgress() > 0) {
        state_ = State::AwaitingSave;
        ++phase_;
        return;
    }
    end();
}

void QuitConfirmation::saveSettled(bool written) {
    if (state_ == State::Saving) {
        // Ended before the page's save call had returned; decided once it has.
        if (!written) flushSaveFailed_ = true;
        return;
    }
    if (state_ != State::AwaitingSave) return;
    if (!written) return keepRunning();
    if (deps_.savesInProgress && deps_.savesInProgress() > 0) return;
    end();
}

void QuitConfirmation::keepRunning() {
    // The user cancelled the save chooser, or the file could not be written: the board stays open,
    // and the next request asks again.
    state_ = State::Idle;
    ++phase_;
}

bool QuitConfirmation::waitingForPage() const {
    return state_ == State::Querying || state_ == State::Saving || state_ == State::Discarding;
}

void QuitConfirmation::watchPage() {
    ++wait_;
    if (!deps_.after) return;
    deps_.after(limits_.unresponsive, guardedWait([](QuitConfirmation& self) { self.onStall(); }));
}

void QuitConfirmation::pageAnswered() {
    ++wait_;
    if (!stallShown_) return;
    stallShown_ = false;
    if (deps_.alert) deps_.alert->dismiss();
}

void QuitConfirmation::pageUnresponsive() {
    if (waitingForPage() && !stallShown_) onStall();
}

void QuitConfirmation::onStall() {
    if (!waitingForPage() || stallShown_) return;
    // Blocked in its own dialog, the page waits for its user: that is not a hang.
    if (deps_.showPageDialog && deps_.showPageDialog()) return watchPage();
    if (!deps_.alert) return;
    stallShown_ = true;
    const Translate& t = deps_.t;
    webpolicy::AlertContent content;
    content.message = t("画板没有响应");
    content.detail = t("可以继续等待，或者立即退出并丢失未保存的内容。");
    content.buttons = {t("等待"), t("仍然退出")};
    content.closeAnswer = 0;  // Escape waits: only a deliberate choice gives the board up
    content.warning = true;
    deps_.alert->show(content,
                      guardedWait([](QuitConfirmation& self, std::size_t button) { self.onStallChoice(button); }));
}

void QuitConfirmation::onStallChoice(std::size_t button) {
    stallShown_ = false;
    if (button == 1) return end();
    // Wait: ask again only if the page still has not answered after another while.
    watchPage();
}

void QuitConfirmation::pageTerminated() {
    pageDead_ = true;
    if (waitingForPage()) end();
}

void QuitConfirmation::end() {
    if (state_ == State::Ended) return;
    bool alertOpen = stallShown_ || state_ == State::Asking;
    state_ = State::Ended;
    ++phase_;
    ++wait_;
    stallShown_ = false;
    if (alertOpen && deps_.alert) deps_.alert->dismiss();
    if (deps_.terminate) deps_.terminate();
}

}  // namespace app
