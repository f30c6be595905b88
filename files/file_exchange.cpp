// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/file_exchange.h"

#include <sys/stat.h>

#include <string_view>
#include <variant>

#include "common/data_url.h"
#include "common/default_stamp.h"
#include "common/file_read.h"
#include "common/json.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/text.h"
#include "files/file_io.h"
#include "files/image_source.h"
#include "files/pdf_builder.h"
#include "files/temp_folder.h"

namespace files {
namespace {

const std::uint8_t* asBytes(const common::Bytes& b) { return b.data(); }
const std::uint8_t* asBytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

const char* reasonName(SaveReason reason) {
    switch (reason) {
        case SaveReason::Written:
            return "written";
        case SaveReason::Cancelled:
            return "cancelled";
        case SaveReason::Failed:
            break;
    }
    return "failed";
}

}  // namespace

std::string pathExtension(const std::string& name) {
    std::string last = common::paths::lastComponent(name);
    auto dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0) return "";
    return last.substr(dot + 1);
}

std::string withExtension(const std::string& path, const std::string& ext) {
    if (ext.empty() || !pathExtension(path).empty() || common::paths::lastComponent(path).empty()) return path;
    // A name that is there already (a file the chooser asked to replace, a folder) stays as chosen.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) return path;
    std::string longer = path + (path.back() == '.' ? "" : ".") + ext;
    if (::lstat(longer.c_str(), &st) == 0) return path;
    return longer;
}

FileExchange::FileExchange(std::shared_ptr<Panels> panels, std::weak_ptr<bridge::PageSink> page,
                           common::Desktop& desktop, common::Workers& workers)
    : panels_(std::move(panels)), page_(std::move(page)), desktop_(desktop), workers_(workers) {}

// A file name with a NUL cannot be written as the page sent it; it is refused (with the failure
// beep), never shortened into another name.
bool FileExchange::refusedName(const std::string& name) {
    if (name.find('\0') == std::string::npos) return false;
    common::log::warning("file command refused: the file name holds a NUL character");
    beep();
    return true;
}

void FileExchange::saveText(std::string text, std::string defaultName, std::string ext) {
    saveBytes("saveJSON", {std::move(defaultName), std::move(ext), ""}, contentOf(std::move(text)));
}

void FileExchange::saveBoard(std::string text, bridge::BoardTarget to) {
    if (!document_->path()) return saveText(std::move(text), common::defaultStamp("TAVRIK", "json"), "json");
    std::string path = *document_->path();
    if (to == bridge::BoardTarget::Choose) {
        return saveBytes("saveJSON", {common::paths::lastComponent(path), "json", folderOf(path)},
                         contentOf(std::move(text)));
    }
    // In place, with no chooser: reported as a chooser's save would be, so that whoever waits on
    // the save (the quit, an open over unsaved work) hears its start and its outcome.
    started("saveJSON");
    auto hold = quitHold_ ? quitHold_() : nullptr;
    write(path, contentOf(std::move(text)), [weak = weak_from_this(), path, hold](common::Status written) {
        auto self = weak.lock();
        if (!self) return;
        if (!written) {
            common::log::warning("save failed: " + written.error().message);
            self->beep();
            return self->report({"saveJSON", SaveReason::Failed, ""});
        }
        self->document_->set(path);  // written to it again: the most recently used board
        self->report({"saveJSON", SaveReason::Written, common::paths::lastComponent(path), true});
    });
}

void FileExchange::saveImage(const json::Value& dataUrl, std::string ext) {
    auto bytes = common::dataurl::decodeValue(dataUrl);
    if (!bytes) return;
    // Written as the page sent them: the extension only names the file and the chooser's type.
    std::string name = common::defaultStamp("TAVRIK", ext);
    saveBytes("saveImage", {std::move(name), std::move(ext), ""}, contentOf(std::move(*bytes)));
}

void FileExchange::saveFile(std::string name, const json::Value& dataUrl) {
    if (refusedName(name)) return;
    auto bytes = common::dataurl::decodeValue(dataUrl);
    if (!bytes) return;
    std::string ext = pathExtension(name);
    saveBytes("saveFile", {std::move(name), std::move(ext), ""}, contentOf(std::move(*bytes)));
}

void FileExchange::startIn(SaveChooser& chooser, FileKind kind) {
    if (folders_ && chooser.folder.empty()) chooser.folder = folders_->folderFor(kind);
}

void FileExchange::chose(FileKind kind, const std::string& path) {
    if (folders_) folders_->used(kind, path);
}

void FileExchange::saveBytes(const char* action, SaveChooser chooser, Content content) {
    auto hold = quitHold_ ? quitHold_() : nullptr;
    FileKind kind = std::string_view(action) == "saveJSON" ? FileKind::Boards : FileKind::Exports;
    startIn(chooser, kind);
    bool shown = panels_->save(chooser, [weak = weak_from_this(), action, kind, ext = chooser.allowedExtension, content,
                                         hold](std::optional<std::string> chosen) {
        auto self = weak.lock();
        if (!self) return;
        if (!chosen) return self->report({action, SaveReason::Cancelled, ""});
        self->chose(kind, *chosen);
        auto path = withExtension(*chosen, ext);
        self->write(path, content, [weak, action, kind, path, hold](common::Status written) {
            auto self = weak.lock();
            if (!self) return;
            if (!written) {
                common::log::warning("save failed: " + written.error().message);
                self->beep();
                return self->report({action, SaveReason::Failed, ""});
            }
            // A board written is the board's file from now on.
            if (kind == FileKind::Boards) self->document_->set(path);
            self->report({action, SaveReason::Written, common::paths::lastComponent(path)});
        });
    });
    if (shown) started(action);
}

FileExchange::Content FileExchange::contentOf(std::string text) {
    return std::make_shared<const std::variant<common::Bytes, std::string>>(std::move(text));
}

FileExchange::Content FileExchange::contentOf(common::Bytes bytes) {
    return std::make_shared<const std::variant<common::Bytes, std::string>>(std::move(bytes));
}

void FileExchange::write(std::string path, Content content, std::function<void(common::Status)> done) {
    // The job owns its path and content; only its outcome comes back, on the main thread.
    enqueue(
        [path = std::move(path), content = std::move(content)] {
            return std::visit([&](const auto& c) { return replaceFile(path, asBytes(c), c.size()); }, *content);
        },
        std::move(done));
}

void FileExchange::enqueue(std::function<common::Status()> work, std::function<void(common::Status)> done) {
    writes_.push_back({std::move(work), std::move(done)});
    nextWrite();
}

void FileExchange::nextWrite() {
    if (writing_ || writes_.empty()) return;
    writing_ = true;
    Job next = std::move(writes_.front());
    writes_.pop_front();
    workers_.run(std::move(next.work), [weak = weak_from_this(), done = std::move(next.done)](common::Status written) {
        auto self = weak.lock();
        if (!self) return;
        self->writing_ = false;
        done(std::move(written));
        self->nextWrite();
    });
}

void FileExchange::started(const char* action) {
    ++savesInProgress_;
    if (startObserver_) startObserver_(action);
}

void FileExchange::report(SaveOutcome outcome) {
    if (savesInProgress_) --savesInProgress_;
    if (auto page = page_.lock()) {
        json::Object result;
        result.emplace_back("action", outcome.action);
        result.emplace_back("ok", outcome.ok());
        result.emplace_back("name", common::displayName(outcome.name));
        result.emplace_back("reason", std::string(reasonName(outcome.reason)));
        // Written to the board's own file with no chooser: the page says "saved", not "saved as".
        if (outcome.inPlace) result.emplace_back("inPlace", true);
        page->callGuarded("__saveResult", json::Value(std::move(result)));
    }
    if (observer_) observer_(outcome);
}

void FileExchange::savePDF(const json::Value& dataUrl) {
    auto bytes = common::dataurl::decodeValue(dataUrl);
    if (!bytes || !probeImage(*bytes)) return;
    std::vector<common::Bytes> images;
    images.push_back(std::move(*bytes));
    savePdf("savePDF", {common::defaultStamp("TAVRIK", "pdf"), "pdf", ""}, std::move(images), PageLayout::ImageSize);
}

void FileExchange::savePDFPages(json::Array pages, std::string name) {
    if (refusedName(name)) return;
    std::vector<common::Bytes> images;
    for (auto& page : pages) {
        auto bytes = common::dataurl::decodeValue(page);
        page = {};
        if (bytes && probeImage(*bytes)) images.push_back(std::move(*bytes));
    }
    if (images.empty()) {
        common::log::warning("PDF export skipped: no page is a PNG or JPEG image");
        beep();
        return;
    }
    savePdf("savePDFPages", {common::defaultStamp(name, "pdf"), "pdf", ""}, std::move(images), PageLayout::A4Width);
}

void FileExchange::savePdf(const char* action, SaveChooser chooser, std::vector<common::Bytes> images,
                           PageLayout layout) {
    auto content = std::make_shared<std::vector<common::Bytes>>(std::move(images));
    auto hold = quitHold_ ? quitHold_() : nullptr;
    startIn(chooser, FileKind::Exports);
    bool shown = panels_->save(chooser, [weak = weak_from_this(), action, content, layout,
                                         hold](std::optional<std::string> chosen) {
        auto self = weak.lock();
        if (!self) return;
        if (!chosen) return self->report({action, SaveReason::Cancelled, ""});
        self->chose(FileKind::Exports, *chosen);
        auto path = std::make_optional(withExtension(*chosen, "pdf"));
        // The build owns the images and the path; it reports back only with its outcome.
        self->workers_.run([images = std::move(*content), layout,
                            path = *path]() mutable { return buildPdf(std::move(images), layout, path); },
                           [weak, hold, action, name = common::paths::lastComponent(*path)](common::Status written) {
                               if (!written) common::log::warning("PDF export failed: " + written.error().message);
                               auto self = weak.lock();
                               if (!self) return;
                               if (!written) {
                                   self->beep();
                                   return self->report({action, SaveReason::Failed, ""});
                               }
                               self->report({action, SaveReason::Written, name});
                           });
    });
    if (shown) started(action);
}

void FileExchange::openFile(std::string name, const json::Value& dataUrl) {
    if (refusedName(name)) return;
    auto bytes = common::dataurl::decodeValue(dataUrl);
    if (!bytes) return;
    // Opening hands the file to whatever the desktop runs for its type: never a program, a script or
    // a launcher the page wrote.
    std::string fileName = openedFileName(name);
    if (desktop_.launchesCode(fileName, *bytes)) {
        common::log::warning("opening a file refused: \"" + common::displayName(fileName) +
                             "\" is a program, script or launcher, which is never run from the page");
        beep();
        return;
    }
    auto folder = openedFilesFolder();
    if (!folder) {
        common::log::warning("opening a file failed: no private temporary folder");
        beep();
        return;
    }
    std::string path = *folder + "/" + fileName;
    if (auto written = replaceFile(path, *bytes); !written) {
        common::log::warning("opening a file failed: " + written.error().message);
        beep();
        return;
    }
    desktop_.openUri(fileUri(path));
}

void FileExchange::openJSONFile() {
    OpenChooser chooser{"json", folders_ ? folders_->folderFor(FileKind::Boards) : ""};
    panels_->open(chooser, [weak = weak_from_this()](std::optional<std::string> path) {
        auto self = weak.lock();
        if (!self || !path) return;
        self->chose(FileKind::Boards, *path);
        OpenedFile file = readForPage(*path, Want::Board);
        if (file.kind == OpenedFile::Kind::Board) self->document_->set(*path);
        deliverToPage(self->page_.lock(), std::move(file), Failures::Report);
    });
}

void FileExchange::openPaperPDF() {
    OpenChooser chooser{"pdf", folders_ ? folders_->folderFor(FileKind::Imports) : ""};
    panels_->open(chooser, [weak = weak_from_this()](std::optional<std::string> path) {
        auto self = weak.lock();
        if (!self || !path) return;
        self->chose(FileKind::Imports, *path);
        self->deliver(*path, Want::Pdf);
    });
}

void FileExchange::deliver(const std::string& path, Want want) {
    OpenedFile file = readForPage(path, want);
    deliverToPage(page_.lock(), std::move(file), Failures::Report);
}

}  // namespace files
