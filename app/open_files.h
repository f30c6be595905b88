// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Opening boards and PDFs given from outside the window: on the command line, by the file manager's
// "Open With", or handed on by a second start, and from File ▸ Open Recent. They open as if chosen in
// the Open chooser, after asking whether to save a board with unsaved content first. File ▸ New
// asks the same way before the page starts an empty board.
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/quit_confirmation.h"
#include "bridge/page_sink.h"
#include "files/document_file.h"
#include "files/opened_file.h"

namespace app {

class OpenFiles : public std::enable_shared_from_this<OpenFiles> {
public:
    struct Deps {
        std::weak_ptr<bridge::PageSink> page;     // where the opened files go
        std::shared_ptr<bridge::PageSink> query;  // asks the page about unsaved content
        std::shared_ptr<QuitAlert> alert;         // save, don't save, cancel
        Translate t;
        // Runs the page's own save and reports once whether the board was written (files::SaveThen).
        std::function<void(std::function<void(bool written)>)> saveThen;
        // Set to each board opened, cleared by a new board (may be null).
        std::shared_ptr<files::DocumentFile> document;
        // Runs a file's read away from the main thread, then `done` on it: a big board takes a
        // moment to read and check, and the window answers meanwhile. Null reads at once.
        std::function<void(std::function<files::OpenedFile()> read, std::function<void(files::OpenedFile)> done)>
            readAside;
    };
    // Asks the page to start an empty board: answers true when it did.
    static constexpr const char* kNewBoardCall =
        "typeof window.__menuAction === 'function' && window.__menuAction('new') === true";
    explicit OpenFiles(Deps deps) : deps_(std::move(deps)) {}

    // Opens `paths` once the page is ready; paths given meanwhile open after the ones before.
    void open(std::vector<std::string> paths);
    // File ▸ New: once the page is ready and any unsaved work is saved or let go, the page starts
    // an empty board and the board has no file any more. In turn with the opens.
    void newBoard();
    // The page has loaded (true) or a new load has begun (false, which forgets the board's file).
    void setPageReady(bool ready);

private:
    // Boards to open, or none for a new board.
    struct Job {
        std::vector<std::string> paths;
        bool newBoard = false;
    };
    void next();
    void onUnsaved(Job job, bool unsaved);
    void onChoice(Job job, std::size_t button);
    // Carries out the job, then goes on with the next (done()).
    void deliver(const Job& job);
    void deliverFrom(const std::vector<std::string>& paths, std::size_t index);
    void handOver(const std::vector<std::string>& paths, std::size_t index, files::OpenedFile file);
    void done();

    Deps deps_;
    std::deque<Job> waiting_;
    bool ready_ = false;
    bool busy_ = false;
};

}  // namespace app
