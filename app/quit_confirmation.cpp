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

void QuitConfirmation::requestQuit() {
    if (state_ != State::Idle) return;
    if (deps_.showPageDialog && deps_.showPageDialog()) return;
    if (!deps_.page || !deps_.page->alive() || pageDead_) return end();
    state_ = State::Querying;
    ++phase_;
    armLimit(limits_.query);
    deps_.page->evaluateThen(
        kQuitQuery, guarded([](QuitConfirmation& self, std::optional<bool> unsaved) { self.onQueryAnswer(unsaved); }));
}

void QuitConfirmation::onQueryAnswer(std::optional<bool> unsaved) {
    if (state_ != State::Querying) return;
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
            return callPageThenEnd(kQuitFlush);
        case 1:
            state_ = State::Discarding;
            return callPageThenEnd(kQuitDiscard);
        default:
            // Cancel: everything stays as it was, and the next request asks the page again.
            state_ = State::Idle;
            ++phase_;
            return;
    }
}

void QuitConfirmation::callPageThenEnd(const char* script) {
    ++phase_;
    // Without a page nothing can be saved or dropped any more; the user still asked to quit.
    if (!deps_.page || pageDead_) return end();
    armLimit(limits_.pageCall);
    // Whatever the page returned or threw, it has finished its synchronous part.
    deps_.page->evaluateThen(script, guarded([](QuitConfirmation& self, std::optional<bool>) { self.end(); }));
}

void QuitConfirmation::pageTerminated() {
    pageDead_ = true;
    if (state_ == State::Querying || state_ == State::Saving || state_ == State::Discarding) end();
}

void QuitConfirmation::armLimit(std::chrono::milliseconds limit) {
    if (!deps_.after) return;
    deps_.after(limit, guarded([limit](QuitConfirmation& self) {
                    if (self.deps_.showPageDialog && self.deps_.showPageDialog()) return self.armLimit(limit);
                    self.end();
                }));
}

void QuitConfirmation::end() {
    if (state_ == State::Ended) return;
    state_ = State::Ended;
    ++phase_;
    if (deps_.terminate) deps_.terminate();
}

}  // namespace app
