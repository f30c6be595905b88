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
// A drop for a page that asked for drops: {"items": [records], "x": …, "y": …}, the point in the
// view's coordinates, which are the web view's.
using OnFiles = std::function<void(json::Value drop)>;
// The clipboard's files or image read for a paste, {"items": [records]}, for a page that asked for
// them; `then` runs once the page has had them (it lets the paste itself follow).
using OnPaste = std::function<void(json::Value paste, std::function<void()> then)>;

GtkWidget* dragCatchViewNew();
// Sends touchpad pinches to the page's board instead of letting WebKit magnify the page (at init).
void attachPinch(TavrikDragCatchView* self);
// The one child, which fills the view (the web view).
void dragCatchViewSetChild(TavrikDragCatchView* view, GtkWidget* child);
GtkWidget* dragCatchViewChild(TavrikDragCatchView* view);
// Receives the item records of an accepted drop, on the main thread.
void dragCatchViewSetOnItems(TavrikDragCatchView* view, OnItems onItems);
// Receives the drops the view takes for its page (see dragCatchViewSetPageDrops).
void dragCatchViewSetOnFiles(TavrikDragCatchView* view, OnFiles onFiles);
// Whether drags of files, links and text are taken for the page, from now on; left to the web
// view by default, and always while no OnFiles callback is set.
void dragCatchViewSetPageDrops(TavrikDragCatchView* view, PageDrops pageDrops);
PageDrops dragCatchViewPageDrops(TavrikDragCatchView* view);
void dragCatchViewDeliverFiles(TavrikDragCatchView* view, json::Value drop);

// Whether a paste hands the page the clipboard's files and image too, from now on; off by default,
// and always while no OnPaste callback is set.
enum class PasteItems { Off, Taken };
void dragCatchViewSetOnPaste(TavrikDragCatchView* view, OnPaste onPaste);
void dragCatchViewSetPasteItems(TavrikDragCatchView* view, PasteItems pasteItems);
PasteItems dragCatchViewPasteItems(TavrikDragCatchView* view);
// Hands pasted records to OnPaste; `then` runs at once when there is none.
void dragCatchViewDeliverPaste(TavrikDragCatchView* view, json::Value paste, std::function<void()> then);
// The drag-catch view that holds `widget` (the web view), if any.
TavrikDragCatchView* dragCatchViewOf(GtkWidget* widget);
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
