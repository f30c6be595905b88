// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/opened_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>

#include "common/data_url.h"
#include "common/json.h"
#include "common/log.h"
#include "common/text.h"
#include "common/unique_fd.h"
#include "files/board_handoff.h"

namespace files {
namespace fs = std::filesystem;

namespace {

constexpr const char* kPaperToast = "toast('PDF 超过 25MB，无法读取')";

bool looksLikePdf(const fs::path& path, std::string_view head) {
    std::string ext = path.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".pdf" || head.rfind("%PDF-", 0) == 0;
}

}  // namespace

OpenedFile readForPage(const std::string& path, Want want) {
    using Kind = OpenedFile::Kind;
    fs::path p(path);
    std::string name = common::displayName(p.filename().string());
    if (name.empty()) name = common::displayName(path);
    // Opened without waiting and judged on the descriptor, so nothing can be swapped in between:
    // opening a FIFO for reading blocks until a writer comes, and a device may never end.
    common::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR) return {Kind::Missing, name, {}};
        // Also a folder on the way that may not be searched: it hides whether the file is there.
        return {Kind::Unreadable, name, {}};
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return {Kind::Unreadable, name, {}};
    if (S_ISDIR(st.st_mode)) return {Kind::Directory, name, {}};
    if (!S_ISREG(st.st_mode)) return {Kind::Unreadable, name, {}};
    bool failed = false;
    auto readSome = [&](char* into, std::size_t size) -> std::size_t {
        for (;;) {
            ssize_t n = ::read(fd.get(), into, size);
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno == EINTR) continue;
            failed = true;
            return 0;
        }
    };
    std::string head(5, '\0');
    std::size_t got = 0;
    while (got < head.size())
        if (std::size_t n = readSome(head.data() + got, head.size() - got); n > 0)
            got += n;
        else
            break;
    head.resize(got);
    const bool pdf = want == Want::Pdf || (want == Want::Either && looksLikePdf(p, head));
    const std::size_t limit = pdf ? kPaperLimit : kBoardLimit;
    // Reads at most one chunk past the limit: enough to refuse a larger file without holding it.
    // Read straight into a string of the file's size: a big board grown chunk by chunk would be
    // copied again at every doubling and hold up to three times its size meanwhile.
    std::string bytes = head;
    const std::size_t expected = static_cast<std::size_t>(std::max<off_t>(st.st_size, 0));
    const std::size_t chunk = 1 << 16;
    bytes.reserve(std::min(expected, limit) + chunk);
    while (!failed && got == head.size() && bytes.size() <= limit) {
        if (bytes.capacity() - bytes.size() < chunk) bytes.reserve(bytes.capacity() * 2);
        std::size_t at = bytes.size();
        bytes.resize(at + chunk);
        std::size_t n = readSome(bytes.data() + at, chunk);
        bytes.resize(at + n);
        if (n == 0) break;
    }
    if (failed) return {Kind::Unreadable, name, {}};
    if (bytes.size() > limit) return {Kind::TooLarge, name, {}, pdf};
    if (pdf) {
        // The paper chooser lets the page's renderer judge the bytes; a file from outside must say
        // it is a PDF.
        if (bytes.empty() || (want == Want::Either && head.rfind("%PDF-", 0) != 0)) return {Kind::NotBoard, name, {}};
        std::string dataUrl =
            common::dataurl::make("application/pdf", reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        return {Kind::Pdf, name, std::move(dataUrl)};
    }
    // A raw NUL is never part of a JSON text, and no page call could carry it as a value.
    if (bytes.find('\0') != std::string::npos || !json::validUtf8(bytes)) return {Kind::NotBoard, name, {}};
    // A board from outside is a JSON object; the page checks the rest as it does for the chooser.
    if (want == Want::Either) {
        std::size_t first = bytes.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
        if (first == std::string::npos || bytes[first] != '{') return {Kind::NotBoard, name, {}};
    }
    return {Kind::Board, name, std::move(bytes)};
}

namespace {

void handOther(bridge::PageSink& page, OpenedFile file, Failures failures) {
    using Kind = OpenedFile::Kind;
    if (file.kind == Kind::Pdf) {
        json::Object paper;
        paper.emplace_back("name", file.name);
        paper.emplace_back("dataUrl", std::move(file.content));
        page.pushFunction("__paperFromNative", std::move(paper));
        return;
    }
    if (file.kind == Kind::TooLarge && file.pdf) return page.pushScript(kPaperToast);
    if (failures == Failures::Report) {
        json::Array args;
        args.emplace_back(file.name);
        args.emplace_back(openFailure(file.kind));
        page.callGuardedPositional("__openFailed", std::move(args));
        return;
    }
    common::log::warning(std::string("opening a file failed: ") + openFailure(file.kind));
}

}  // namespace

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

void deliverToPage(const std::shared_ptr<bridge::PageSink>& page, OpenedFile file, Failures failures,
                   std::function<void()> then) {
    using Kind = OpenedFile::Kind;
    if (file.kind == Kind::Board && page)
        return handBoard(page, std::move(file.content), std::move(file.name), std::move(then));
    if (page) handOther(*page, std::move(file), failures);
    if (then) then();
}

}  // namespace files
