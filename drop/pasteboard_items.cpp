// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/pasteboard_items.h"

#include <sys/stat.h>

#include <optional>

#include "common/data_url.h"
#include "common/file_read.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/text.h"
#include "drop/html_text.h"
#include "drop/media.h"
#include "drop/rtf_text.h"

namespace drop::PasteboardItems {

namespace {

constexpr const char* kOctetStream = "application/octet-stream";

// The whole file, or nothing for a folder, a device or pipe, an unreadable or an oversized file.
std::optional<common::Bytes> readWholeFile(const std::string& path) {
    auto bytes = common::readRegularFile(path, kMaxFileBytes);
    if (!bytes) {
        common::log::warning("drop: dropped file skipped: " + common::paths::lastComponent(path) + ": " +
                             bytes.error().message);
        return std::nullopt;
    }
    if (bytes->size() > kMaxFileBytes) {
        common::log::info("drop: dropped file over the size limit skipped: " + common::paths::lastComponent(path));
        return std::nullopt;
    }
    return std::move(*bytes);
}

json::Value fileRecord(std::string name, const std::string& mime, const common::Bytes& bytes) {
    return json::Object{
        {"kind", "file"}, {"name", std::move(name)}, {"mime", mime}, {"dataUrl", common::dataurl::make(mime, bytes)}};
}

json::Value textRecord(std::string text) { return json::Object{{"kind", "text"}, {"text", std::move(text)}}; }

// A file's name as the page can read it: a name in another encoding would make the whole list
// unsendable.
std::string pageName(const std::string& path) { return common::displayName(common::paths::lastComponent(path)); }

bool overLimit(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes;
}

bool isWhiteSpaceOrLineBreak(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// A text counts when something is left after trimming white space and line breaks (Unicode's,
// the ideographic space included); the text kept is the untrimmed one. Text the page could not
// receive (not UTF-8) does not count.
std::optional<std::string> clean(std::optional<std::string> text) {
    if (!text || !json::validUtf8(*text)) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(text->data());
    const auto* end = p + text->size();
    while (p < end) {
        char32_t c = *p;
        int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (len > 1) c &= 0x3F >> (len - 1);
        for (int i = 1; i < len; ++i) c = (c << 6) | (p[i] & 0x3F);
        if (!isWhiteSpaceOrLineBreak(c)) return text;
        p += len;
    }
    return std::nullopt;
}

std::optional<std::string> textFrom(const Pasteboard& pb) {
    if (auto plain = clean(pb.plainText())) return plain;
    if (auto rtf = pb.rtfData())
        if (auto text = clean(rtfToText(common::asText(*rtf)))) return text;
    if (auto html = pb.htmlData())
        if (auto text = clean(htmlToText(common::asText(*html)))) return text;
    return std::nullopt;
}

std::string pastedImageName(std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    char hhmmss[16];
    std::strftime(hhmmss, sizeof hhmmss, "%H%M%S", &local);
    return std::string("拖入图片-") + hhmmss + ".png";
}

}  // namespace

json::Array collectAt(const Pasteboard& pb, std::time_t now) {
    json::Array items;
    for (const std::string& path : pb.filePaths()) {
        std::optional<common::Bytes> bytes = readWholeFile(path);
        if (!bytes) continue;
        std::string name = pageName(path);
        std::string mime = mimeTypeForExtension(name).value_or(kOctetStream);
        items.push_back(fileRecord(std::move(name), mime, *bytes));
    }
    if (!items.empty()) return items;

    if (auto image = pb.imageData())
        if (auto png = reencodeAsPng(*image)) {
            items.push_back(fileRecord(pastedImageName(now), "image/png", *png));
            return items;
        }

    if (auto text = textFrom(pb)) items.push_back(textRecord(std::move(*text)));
    return items;
}

json::Array collect(const Pasteboard& pb) { return collectAt(pb, std::time(nullptr)); }

json::Array collectForPageAt(const Pasteboard& pb, std::time_t now) {
    json::Array items;
    // Links come before the plain text a browser offers beside them, which may be a title.
    std::vector<std::string> links = pb.links();
    if (pb.filePaths().empty() && !links.empty()) {
        MemoryPasteboard image;
        image.image = pb.imageData();
        items = collectAt(image, now);
        if (items.empty())
            for (std::string& link : links)
                if (json::validUtf8(link)) items.push_back(textRecord(std::move(link)));
        if (!items.empty()) return items;
    }
    items = collectAt(pb, now);
    for (const std::string& path : pb.filePaths())
        if (overLimit(path))
            items.push_back(json::Object{{"kind", "refused"}, {"name", pageName(path)}, {"reason", "tooLarge"}});
    return items;
}

json::Array collectForPage(const Pasteboard& pb) { return collectForPageAt(pb, std::time(nullptr)); }

}  // namespace drop::PasteboardItems
