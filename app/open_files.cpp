// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/open_files.h"

#include "files/opened_file.h"

namespace app {
void OpenFiles::open(std::vector<std::string> paths) {
    if (paths.empty()) return;
    waiting_.push_back({std::move(paths), false});
    next();
}

void OpenFiles::newBoard() {
    waiting_.push_back({{}, true});
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
    Job job = std::move(waiting_.front());
    waiting_.pop_front();
    if (!deps_.query || !deps_.query->alive()) return deliver(job);
    deps_.query->callThen(kQuitQuery, [weak = weak_from_this(), job](std::optional<bool> unsaved) {
        if (auto self = weak.lock()) self->onUnsaved(job, unsaved.value_or(false));
    });
}

void OpenFiles::onUnsaved(Job job, bool unsaved) {
    if (!unsaved || !deps_.alert) return deliver(job);
    const Translate& t = deps_.t;
    webpolicy::AlertContent content;
    content.message = job.newBoard ? t("新建前保存画布？") : t("打开前保存画布？");
    content.detail = job.newBoard ? t("画布还有未保存的内容，新建画布前要保存吗？")
                                  : t("画布还有未保存的内容，打开其他文件前要保存吗？");
    content.buttons = {t("保存"), t("不保存"), t("取消")};
    deps_.alert->show(content, [weak = weak_from_this(), job](std::size_t button) {
        if (auto self = weak.lock()) self->onChoice(job, button);
    });
}

void OpenFiles::onChoice(Job job, std::size_t button) {
    if (button == 1) return deliver(job);
    if (button == 0 && deps_.saveThen) {
        // Goes on only once the save reports the board written; a cancelled or failed save opens nothing.
        deps_.saveThen([weak = weak_from_this(), job](bool written) {
            auto self = weak.lock();
            if (!self) return;
            if (written) return self->deliver(job);
            self->done();
        });
        return;
    }
    done();
}

void OpenFiles::deliver(const Job& job) {
    auto page = deps_.page.lock();
    if (!page) return done();
    if (job.newBoard) {
        // The board forgets its file only when the page did start a new one: a page that has no
        // new board keeps the board it shows, and its file.
        page->callThen(kNewBoardCall, [document = deps_.document](std::optional<bool> started) {
            if (started == std::optional<bool>(true) && document) document->clear();
        });
        return done();
    }
    deliverFrom(job.paths, 0);
}

void OpenFiles::deliverFrom(const std::vector<std::string>& paths, std::size_t index) {
    if (deps_.page.expired() || index >= paths.size()) return done();
    auto read = [path = paths[index]] { return files::readForPage(path, files::Want::Either); };
    if (!deps_.readAside) return handOver(paths, index, read());
    deps_.readAside(std::move(read), [weak = weak_from_this(), paths, index](files::OpenedFile file) {
        if (auto self = weak.lock()) self->handOver(paths, index, std::move(file));
    });
}

void OpenFiles::handOver(const std::vector<std::string>& paths, std::size_t index, files::OpenedFile file) {
    auto page = deps_.page.lock();
    if (!page) return done();
    if (file.kind == files::OpenedFile::Kind::Board && deps_.document) deps_.document->set(paths[index]);
    // The next file, and the next job, wait until the page has this board: a small board given
    // after a big one must not overtake it.
    files::deliverToPage(page, std::move(file), files::Failures::Report, [weak = weak_from_this(), paths, index] {
        if (auto self = weak.lock()) self->deliverFrom(paths, index + 1);
    });
}

void OpenFiles::done() {
    busy_ = false;
    next();
}

}  // namespace app
