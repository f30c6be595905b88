// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/page_crash.h"

namespace app {

void PageCrash::terminated(PageEnd why) {
    if (why == PageEnd::ByTheShell) return;
    if (deps_.quitInProgress && deps_.quitInProgress()) return;
    auto now = deps_.now();
    bool again = lastCrash_ && now - *lastCrash_ < kCrashLoop;
    lastCrash_ = now;
    reloadOwed_ = true;
    if (!again) {
        reloadOwed_ = false;
        deps_.reload();
    }
    if (shown_) return;  // the alert already up answers for this crash too
    shown_ = true;
    const Translate& t = deps_.t;
    webpolicy::AlertContent content;
    content.message = t("画板意外停止");
    content.detail = t("重新载入后可以恢复最近的内容。");
    content.buttons = {t("重新载入"), t("退出")};
    content.closeAnswer = 0;  // closing the alert keeps the board: only "Quit" gives it up
    content.warning = true;
    deps_.alert->show(content, [weak = weak_from_this()](std::size_t button) {
        if (auto self = weak.lock()) self->onChoice(button);
    });
}

void PageCrash::onChoice(std::size_t button) {
    shown_ = false;
    if (button == 1) {
        if (deps_.quit) deps_.quit();
        return;
    }
    if (reloadOwed_) {
        reloadOwed_ = false;
        deps_.reload();
    }
}

}  // namespace app
