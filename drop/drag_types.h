// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which kind of content a drag format names, and which drags the window itself takes.
#include <string>
#include <string_view>
#include <vector>

namespace drop {

enum class FormatKind { Png, Tiff, Files, PlainText, Html, Rtf, Other };

// Classifies one format name: a MIME type (parameters such as charset ignored, case ignored) or
// one of the X11 text target names that some sources still offer.
FormatKind formatKind(std::string_view format);

// True when the drag carries PNG or TIFF data and no file list, plain text, HTML or RTF: an image
// dragged out of an image viewer. Everything else is left to the web view.
bool isImageOnlyDrag(const std::vector<std::string>& formats);

// True when the drag offers a file list (a file manager's, or a browser's list of links).
bool isFileListDrag(const std::vector<std::string>& formats);

// Whether the window reads file lists itself. The web view no longer hands the contents of
// dropped files to the page, so a page that says it handles them gets them from the window;
// for every other page file lists stay with the web view.
enum class FileLists { LeftToWebView, Taken };

// The drags the window takes: image-only drags always, file lists only when the page asked for
// them. Plain text and HTML always go to the page.
inline bool windowTakesDrag(const std::vector<std::string>& formats, FileLists fileLists) {
    return isImageOnlyDrag(formats) || (fileLists == FileLists::Taken && isFileListDrag(formats));
}

}  // namespace drop
