#include "files/opened_file.h"

#include <cctype>
#include <filesystem>
#include <fstream>

#include "common/data_url.h"
#include "common/json.h"
#include "common/log.h"
#include "common/text.h"

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
    std::error_code ec;
    auto status = fs::status(p, ec);
    if (ec || !fs::exists(status)) return {Kind::Missing, name, {}};
    if (fs::is_directory(status)) return {Kind::Directory, name, {}};
    // Only regular files, checked before opening: opening a FIFO blocks, and a device may never end.
    if (!fs::is_regular_file(status)) return {Kind::Unreadable, name, {}};
    std::ifstream in(p, std::ios::binary);
    if (!in) return {Kind::Unreadable, name, {}};
    std::string head(5, '\0');
    in.read(head.data(), 5);
    head.resize(static_cast<std::size_t>(in.gcount()));
    const bool pdf = want == Want::Pdf || (want == Want::Either && looksLikePdf(p, head));
    const std::size_t limit = pdf ? kPaperLimit : kBoardLimit;
    // Reads at most one byte past the limit: enough to refuse a larger file without holding it.
    std::string bytes = head;
    std::string chunk(1 << 16, '\0');
    while (in && bytes.size() <= limit) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) return {Kind::Unreadable, name, {}};
    if (bytes.size() > limit) return {Kind::TooLarge, name, {}, pdf};
    if (pdf) {
        // The paper chooser lets the page's renderer judge the bytes; a file from outside must say
        // it is a PDF.
        if (bytes.empty() || (want == Want::Either && head.rfind("%PDF-", 0) != 0)) return {Kind::NotBoard, name, {}};
        std::string dataUrl =
            common::dataurl::make("application/pdf", reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        return {Kind::Pdf, name, std::move(dataUrl)};
    }
    if (!json::validUtf8(bytes)) return {Kind::NotBoard, name, {}};
    // A board from outside is a JSON object; the page checks the rest as it does for the chooser.
    if (want == Want::Either) {
        std::size_t first = bytes.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
        if (first == std::string::npos || bytes[first] != '{') return {Kind::NotBoard, name, {}};
    }
    return {Kind::Board, name, std::move(bytes)};
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

void deliverToPage(bridge::PageSink& page, OpenedFile file, Failures failures) {
    using Kind = OpenedFile::Kind;
    switch (file.kind) {
        case Kind::Board: {
            json::Array args;
            args.emplace_back(std::move(file.content));
            page.pushPositional("__restoreNative", std::move(args));
            page.callGuarded("__boardOpened", file.name);
            return;
        }
        case Kind::Pdf: {
            json::Object paper;
            paper.emplace_back("name", file.name);
            paper.emplace_back("dataUrl", std::move(file.content));
            page.pushFunction("__paperFromNative", std::move(paper));
            return;
        }
        default:
            break;
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

}  // namespace files
