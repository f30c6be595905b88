// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/drag_types.h"

#include <algorithm>
#include <cctype>

#include "common/text.h"

namespace drop {

namespace {

std::string lowerBaseType(std::string_view format) {
    std::string_view base = format.substr(0, format.find(';'));
    while (!base.empty() && std::isspace(static_cast<unsigned char>(base.back()))) base.remove_suffix(1);
    while (!base.empty() && std::isspace(static_cast<unsigned char>(base.front()))) base.remove_prefix(1);
    return common::asciiLower(base);
}

}  // namespace

FormatKind formatKind(std::string_view format) {
    const std::string t = lowerBaseType(format);
    if (t == "image/png") return FormatKind::Png;
    if (t == "image/tiff") return FormatKind::Tiff;
    // The portal formats carry files out of sandboxed applications.
    if (t == "text/uri-list" || t == "application/vnd.portal.filetransfer" || t == "application/vnd.portal.files")
        return FormatKind::Files;
    if (t == "text/plain" || t == "utf8_string" || t == "string" || t == "text" || t == "compound_text")
        return FormatKind::PlainText;
    if (t == "text/html") return FormatKind::Html;
    if (t == "text/rtf" || t == "application/rtf" || t == "text/richtext") return FormatKind::Rtf;
    return FormatKind::Other;
}

bool isImageOnlyDrag(const std::vector<std::string>& formats) {
    bool image = false;
    for (const std::string& f : formats) {
        switch (formatKind(f)) {
            case FormatKind::Png:
            case FormatKind::Tiff:
                image = true;
                break;
            case FormatKind::Files:
            case FormatKind::PlainText:
            case FormatKind::Html:
            case FormatKind::Rtf:
                return false;
            case FormatKind::Other:
                break;
        }
    }
    return image;
}

bool offersFilesOrImage(const std::vector<std::string>& formats) {
    return std::any_of(formats.begin(), formats.end(), [](const std::string& f) {
        const FormatKind k = formatKind(f);
        return k == FormatKind::Files || k == FormatKind::Png || k == FormatKind::Tiff;
    });
}

bool isPageDrag(const std::vector<std::string>& formats) {
    return std::any_of(formats.begin(), formats.end(),
                       [](const std::string& f) { return formatKind(f) != FormatKind::Other; });
}

}  // namespace drop
