// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/open_files.h"

#include "files/opened_file.h"

namespace app {
void OpenFiles::open(std::vector<std::string> paths) {
    if (paths.empty()) return;
    waiting_.push_back(std::move(paths));
    next();
}

void OpenFiles::setPageReady(bool ready) {
    ready_ = ready;
    // A page that reloads while the user is being asked starts over; what was asked about is dropped.
    // A new page holds no board of a file yet: its first Save asks where, rather than writing over
    // the file of a board it never saw.
    if (!ready) {
        if (deps_.document) deps_.document->clear();
        return;
    }
    next();
}

void OpenFiles::next() {
    if (!ready_ || busy_ || waiting_.empty()) return;
    busy_ = true;
    std::vector<std::string> paths = std::move(waiting_.front());
    waiting_.pop_front();
    if (!deps_.query || !deps_.query->alive()) {
        deliver(paths);
        done();
        return;
    }
    deps_.query->callThen(kQuitQuery, [weak = weak_from_this(), paths](std::optional<bool> unsaved) {
        if (auto self = weak.lock()) self->onUnsaved(paths, unsaved.value_or(false));
    });
}

void OpenFiles::onUnsaved(std::vector<std::string> paths, bool unsaved) {
    if (!unsaved || !deps_.alert) {
        deliver(paths);
        done();
        return;
    }
    const Translate& t = deps_.t;
    webpolicy::AlertContent content;
    content.message = t("打开前保存画布？");
    content.detail = t("画布还有未保存的内容，打开其他文件前要保存吗？");
    content.buttons = {t("保存"), t("不保存"), t("取消")};
    deps_.alert->show(content, [weak = weak_from_this(), paths](std::size_t button) {
        if (auto self = weak.lock()) self->onChoice(paths, button);
    });
}

void OpenFiles::onChoice(std::vector<std::string> paths, std::size_t button) {
    if (button == 1) {
        deliver(paths);
    } else if (button == 0 && deps_.saveThen) {
        // Opens only once the save reports the board written; a cancelled or failed save opens nothing.
        deps_.saveThen([weak = weak_from_this(), paths](bool written) {
            auto self = weak.lock();
            if (!self) return;
            if (written) self->deliver(paths);
            self->done();
        });
        return;
    }
    done();
}

void OpenFiles::deliver(const std::vector<std::string>& paths) {
    auto page = deps_.page.lock();
    if (!page) return;
    for (const std::string& path : paths) {
        files::OpenedFile file = files::readForPage(path, files::Want::Either);
        if (file.kind == files::OpenedFile::Kind::Board && deps_.document) deps_.document->set(path);
        files::deliverToPage(*page, std::move(file), files::Failures::Report);
    }
}

void OpenFiles::done() {
    busy_ = false;
    next();
}

}  // namespace app
