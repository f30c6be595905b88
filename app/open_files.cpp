#include "app/open_files.h"

#include <filesystem>
#include <fstream>

#include "common/bytes.h"
#include "common/data_url.h"
#include "common/json.h"
#include "files/file_exchange.h"

namespace app {
namespace fs = std::filesystem;

namespace {

// File names on Linux are bytes; the page gets text, with U+FFFD for each byte that is not UTF-8.
std::string asDisplayText(const std::string& name) {
    if (json::validUtf8(name)) return name;
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        std::size_t len = 1;
        for (std::size_t n = 4; n >= 2; --n)
            if (i + n <= name.size() && json::validUtf8(std::string_view(name).substr(i, n))) {
                len = n;
                break;
            }
        if (len == 1 && static_cast<unsigned char>(name[i]) >= 0x80)
            out += "\xEF\xBF\xBD";
        else
            out.append(name, i, len);
        i += len;
    }
    return out;
}

bool looksLikePdf(const fs::path& path, std::string_view head) {
    std::string ext = path.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".pdf" || head.rfind("%PDF-", 0) == 0;
}

}  // namespace

OpenedFile readOpenedFile(const std::string& path) {
    using Kind = OpenedFile::Kind;
    fs::path p(path);
    OpenedFile out{Kind::Missing, asDisplayText(p.filename().string()), {}};
    if (out.name.empty()) out.name = asDisplayText(path);
    std::error_code ec;
    auto status = fs::status(p, ec);
    if (ec || !fs::exists(status)) return out;
    if (fs::is_directory(status)) return {Kind::Directory, out.name, {}};
    std::ifstream in(p, std::ios::binary);
    if (!in || !fs::is_regular_file(status)) return {Kind::Unreadable, out.name, {}};
    std::string head(5, '\0');
    in.read(head.data(), 5);
    head.resize(static_cast<std::size_t>(in.gcount()));
    const bool pdf = looksLikePdf(p, head);
    const std::size_t limit = pdf ? kOpenPdfLimit : kOpenBoardLimit;
    // Reads at most one byte past the limit: enough to refuse a larger file without holding it.
    std::string bytes = head;
    std::string chunk(1 << 16, '\0');
    while (in && bytes.size() <= limit) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) return {Kind::Unreadable, out.name, {}};
    if (bytes.size() > limit) return {Kind::TooLarge, out.name, {}};
    if (pdf) {
        if (head.rfind("%PDF-", 0) != 0) return {Kind::NotBoard, out.name, {}};
        return {Kind::Pdf, out.name,
                common::dataurl::make("application/pdf", reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                      bytes.size())};
    }
    // A board is a JSON object; the page checks the rest as it does for the Open chooser.
    std::size_t first = bytes.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (first == std::string::npos || bytes[first] != '{' || !json::validUtf8(bytes))
        return {Kind::NotBoard, out.name, {}};
    return {Kind::Board, out.name, std::move(bytes)};
}

const char* openFailure(OpenedFile::Kind kind) {
    switch (kind) {
        case OpenedFile::Kind::Missing:
            return "missing";
        case OpenedFile::Kind::Directory:
            return "directory";
        case OpenedFile::Kind::Unreadable:
            return "unreadable";
        case OpenedFile::Kind::TooLarge:
            return "tooLarge";
        case OpenedFile::Kind::NotBoard:
            return "notBoard";
        case OpenedFile::Kind::Board:
        case OpenedFile::Kind::Pdf:
            return "";
    }
    return "";
}

void OpenFiles::open(std::vector<std::string> paths) {
    if (paths.empty()) return;
    waiting_.push_back(std::move(paths));
    next();
}

void OpenFiles::setPageReady(bool ready) {
    ready_ = ready;
    // A page that reloads while the user is being asked starts over; what was asked about is dropped.
    if (!ready) return;
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
    deps_.query->evaluateThen(kQuitQuery, [weak = weak_from_this(), paths](std::optional<bool> unsaved) {
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
        OpenedFile file = readOpenedFile(path);
        if (file.kind == OpenedFile::Kind::Board) {
            json::Array args;
            args.emplace_back(std::move(file.content));
            page->pushPositional("__restoreNative", std::move(args));
            page->pushScript(files::boardOpenedCall(file.name));
        } else if (file.kind == OpenedFile::Kind::Pdf) {
            json::Object paper;
            paper.emplace_back("name", file.name);
            paper.emplace_back("dataUrl", std::move(file.content));
            page->pushFunction("__paperFromNative", std::move(paper));
        } else {
            json::Array args;
            args.emplace_back(file.name);
            args.emplace_back(openFailure(file.kind));
            page->pushPositional("__openFailed", std::move(args));
        }
    }
}

void OpenFiles::done() {
    busy_ = false;
    next();
}

}  // namespace app
