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

// True when a clipboard offers what a web view's paste event does not carry to the page: a file
// list (or links) or an image.
bool offersFilesOrImage(const std::vector<std::string>& formats);

// Whether the window reads drags for the page. The web view no longer hands the contents of
// dropped files to the page, and it refuses a text drag released without a last pointer motion
// and cannot finish one whose source offers copy and move; so a page that says it handles drops
// gets files, links and text from the window. For every other page they stay with the web view.
enum class PageDrops { LeftToWebView, Taken };

// True when the drag offers something a page that takes drops is given: a file list or links, an
// image, plain text, HTML or RTF.
bool isPageDrag(const std::vector<std::string>& formats);

// The drags the window takes: image-only drags always, the rest of what isPageDrag names only
// when the page asked for drops.
inline bool windowTakesDrag(const std::vector<std::string>& formats, PageDrops pageDrops) {
    return isImageOnlyDrag(formats) || (pageDrops == PageDrops::Taken && isPageDrag(formats));
}

}  // namespace drop
