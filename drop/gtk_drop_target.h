// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drag-catch view's drop target: takes image-only drags before the web view sees them.
#include "drop/gtk_drag_catch_view.h"

namespace drop {

// Attaches the target to the view (done once, when the view is made). A drag is accepted with
// the copy action when it offers PNG or TIFF and no file list, text, HTML or RTF, checked on every
// enter and motion, and read into item records for the view's OnItems callback. While the view
// takes drops for its page, drags of files, links, text, HTML or RTF from other windows are
// accepted too, with copy alone whatever the source offers; their records (files with a "refused"
// record for each file over the size limit, or links or text as "text" records) go to OnFiles.
// All other drags are left to the web view. A drop that yields nothing beeps.
void attachDropTarget(TavrikDragCatchView* view);

}  // namespace drop
