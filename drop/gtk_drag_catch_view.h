// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's content: a container that the web view fills, and where image drops are
// caught before WebKit sees them (the drop target is attached when the view is made).
#include <gtk/gtk.h>

#include <functional>

#include "common/json.h"
#include "drop/drag_types.h"

G_BEGIN_DECLS
#define TAVRIK_TYPE_DRAG_CATCH_VIEW (tavrik_drag_catch_view_get_type())
G_DECLARE_FINAL_TYPE(TavrikDragCatchView, tavrik_drag_catch_view, TAVRIK, DRAG_CATCH_VIEW, GtkWidget)
G_END_DECLS

namespace drop {

using OnItems = std::function<void(json::Array items)>;
// A file-list drop for a page that asked for them: {"items": [records], "x": …, "y": …}, the point
// in the view's coordinates, which are the web view's.
using OnFiles = std::function<void(json::Value drop)>;

GtkWidget* dragCatchViewNew();
// Sends touchpad pinches to the page's board instead of letting WebKit magnify the page (at init).
void attachPinch(TavrikDragCatchView* self);
// The one child, which fills the view (the web view).
void dragCatchViewSetChild(TavrikDragCatchView* view, GtkWidget* child);
GtkWidget* dragCatchViewChild(TavrikDragCatchView* view);
// Receives the item records of an accepted drop, on the main thread.
void dragCatchViewSetOnItems(TavrikDragCatchView* view, OnItems onItems);
// Receives the file-list drops the view takes (see dragCatchViewSetFileLists).
void dragCatchViewSetOnFiles(TavrikDragCatchView* view, OnFiles onFiles);
// Whether file-list drags are taken, from now on; left to the web view by default, and always
// while no OnFiles callback is set.
void dragCatchViewSetFileLists(TavrikDragCatchView* view, FileLists fileLists);
FileLists dragCatchViewFileLists(TavrikDragCatchView* view);
void dragCatchViewDeliverFiles(TavrikDragCatchView* view, json::Value drop);
// Plays the alert sound when an accepted drop yields no item (its image cannot be decoded).
void dragCatchViewSetBeep(TavrikDragCatchView* view, std::function<void()> beep);
void dragCatchViewBeep(TavrikDragCatchView* view);
// Hands item records to the callback as an accepted drop would (for the drop target and tests).
void dragCatchViewDeliver(TavrikDragCatchView* view, json::Array items);

// Gives the view, its child (the web view) and the window's menu bar accessible names in the
// interface language (`translate` turns a text key into it), and again whenever `app`'s menu bar is
// rebuilt (a language change).
void dragCatchViewLabelWidgets(TavrikDragCatchView* view, GtkApplication* app,
                               std::function<std::string(const std::string&)> translate);

}  // namespace drop
