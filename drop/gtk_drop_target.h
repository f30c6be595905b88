#pragma once
// The drag-catch view's drop target: takes image-only drags before the web view sees them.
#include "drop/gtk_drag_catch_view.h"

namespace drop {

// Attaches the target to the view (done once, when the view is made). A drag is accepted with
// the copy action exactly when it offers PNG or TIFF and no file list, text, HTML or RTF, checked
// on every enter and motion; all other drags are left to the web view. An accepted drop is read
// and collected into item records for the view's callback, or beeps when its image cannot be
// decoded.
void attachDropTarget(TavrikDragCatchView* view);

}  // namespace drop
