// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file commands: save choosers and the writers behind them, the two pickers that bring a
// document or a paper PDF to the page, and opening a page's file in its default application.
// A failed write beeps. Every save chooser's outcome is also told to a page that asks for it
// (window.__saveResult), so the page can trust its own "saved" state.
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "bridge/commands.h"
#include "bridge/page_sink.h"
#include "common/desktop.h"
#include "common/result.h"
#include "common/workers.h"
#include "files/chooser_folders.h"
#include "files/document_file.h"
#include "files/opened_file.h"
#include "files/panels.h"
#include "files/pdf_builder.h"

namespace files {

// How a save that showed its chooser ended.
enum class SaveReason { Written, Cancelled, Failed };

struct SaveOutcome {
    std::string action;  // the command: "saveJSON", "saveImage", "savePDF", "savePDFPages", "saveFile"
    SaveReason reason = SaveReason::Failed;
    std::string name;      // the written file's name (its last path component); empty unless written
    bool inPlace = false;  // written to the board's own file without a chooser
    bool ok() const { return reason == SaveReason::Written; }
};

// The extension of a file name as a path's last component has it: "csv" for report.final.csv,
// nothing for README or .bashrc.
std::string pathExtension(const std::string& name);

// A chosen save path whose name was typed without an extension gets `ext`, unless either name is
// taken: the chooser asked before replacing only the name it was given.
std::string withExtension(const std::string& path, const std::string& ext);

class FileExchange final : public bridge::FileCommands, public std::enable_shared_from_this<FileExchange> {
public:
    // The page is held weakly: an answer that arrives after the bridge is gone is dropped. The
    // desktop and the workers belong to the application and outlive this object.
    FileExchange(std::shared_ptr<Panels> panels, std::weak_ptr<bridge::PageSink> page, common::Desktop& desktop,
                 common::Workers& workers);

    // Each save holds one of these from its chooser until its file is written, so that quitting
    // right after "save" waits for the user's choice instead of ending under the open chooser.
    void setQuitHold(std::function<std::shared_ptr<void>()> hold) { quitHold_ = std::move(hold); }
    // Told every outcome, after the page call that reports it ({"action", "ok", "name", "reason"}
    // to window.__saveResult) has been issued. Main thread.
    void setSaveObserver(std::function<void(const SaveOutcome&)> observer) { observer_ = std::move(observer); }
    // Told each save whose chooser was shown (its action), before its outcome. Main thread.
    void setSaveStartObserver(std::function<void(const std::string& action)> observer) {
        startObserver_ = std::move(observer);
    }
    // The board's own file, shared with the opener of files from outside (it outlives this object).
    void setDocument(std::shared_ptr<DocumentFile> document) { document_ = std::move(document); }
    // Where the choosers start; without it they start where the chooser likes.
    void setFolders(std::shared_ptr<ChooserFolders> folders) { folders_ = std::move(folders); }
    // Saves whose chooser is open or whose file is still being written.
    std::size_t savesInProgress() const { return savesInProgress_; }

    void saveText(std::string text, std::string defaultName, std::string ext) override;
    void saveBoard(std::string text, bridge::BoardTarget to) override;
    // A board sent in pieces (board_stream.cpp). One is received at a time: a new Begin, or the
    // page going away, gives up one whose End has not come (reported as cancelled).
    void saveBoardBegin(std::optional<bridge::BoardTarget> to) override;
    void saveBoardPiece(std::string piece) override;
    void saveBoardEnd() override;
    void saveBoardAbort() override;
    // The page was reloaded or its process ended: its unfinished board can never be completed.
    void pageGone() { saveBoardAbort(); }
    void saveImage(const json::Value& dataUrl, std::string ext) override;
    void savePDF(const json::Value& dataUrl) override;
    void savePDFPages(json::Array pages, std::string name) override;
    void saveFile(std::string name, const json::Value& dataUrl) override;
    void openFile(std::string name, const json::Value& dataUrl) override;
    void openJSONFile() override;
    void openPaperPDF() override;

private:
    // What a save writes: the page's text as it came, or decoded bytes; shared by the chooser's answer
    // and the write, never copied.
    using Content = std::shared_ptr<const std::variant<common::Bytes, std::string>>;
    static Content contentOf(std::string text);
    static Content contentOf(common::Bytes bytes);
    void saveBytes(const char* action, SaveChooser chooser, Content content);
    // Writes run on a worker, one at a time in the order asked: a big board's write and its flush
    // to disk never hold up the window, and a later save of a file is never overtaken by an earlier
    // one. `done` runs on the main thread while this object lives.
    void write(std::string path, Content content, std::function<void(common::Status)> done);
    void enqueue(std::function<common::Status()> work, std::function<void(common::Status)> done);
    void nextWrite();
    struct BoardStream;
    void streamJob(const std::shared_ptr<BoardStream>& stream, std::function<common::Status()> work,
                   std::function<void()> then = nullptr);
    void streamChosen(const std::shared_ptr<BoardStream>& stream, std::optional<std::string> chosen);
    void streamCommit(const std::shared_ptr<BoardStream>& stream);
    void streamFinish(const std::shared_ptr<BoardStream>& stream, SaveReason reason);
    // The chooser's start folder for `kind` unless it has one; remembers a chosen path's folder.
    void startIn(SaveChooser& chooser, FileKind kind);
    void chose(FileKind kind, const std::string& path);
    void savePdf(const char* action, SaveChooser chooser, std::vector<common::Bytes> images, PageLayout layout);
    void report(SaveOutcome outcome);
    void started(const char* action);
    void deliver(const std::string& path, Want want);
    void beep() { desktop_.beep(); }
    bool refusedName(const std::string& name);

    std::shared_ptr<Panels> panels_;
    std::weak_ptr<bridge::PageSink> page_;
    common::Desktop& desktop_;
    common::Workers& workers_;
    std::shared_ptr<DocumentFile> document_ = std::make_shared<DocumentFile>();
    std::shared_ptr<ChooserFolders> folders_;
    std::function<std::shared_ptr<void>()> quitHold_;
    std::function<void(const SaveOutcome&)> observer_;
    std::function<void(const std::string&)> startObserver_;
    std::size_t savesInProgress_ = 0;
    struct Job {
        std::function<common::Status()> work;  // on a worker
        std::function<void(common::Status)> done;
    };
    std::deque<Job> writes_;
    bool writing_ = false;
    std::shared_ptr<BoardStream> receiving_;  // the board whose pieces are coming in
};

}  // namespace files
