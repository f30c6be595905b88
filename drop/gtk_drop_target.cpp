// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/gtk_drop_target.h"

#include <memory>

#include "common/log.h"
#include "drop/drag_types.h"
#include "drop/gtk_pasteboard.h"
#include "drop/pasteboard_items.h"
#include "gobj/handles.h"

namespace drop {

namespace {

TavrikDragCatchView* viewOf(GtkEventController* controller) {
    return TAVRIK_DRAG_CATCH_VIEW(gtk_event_controller_get_widget(controller));
}

// What the view does with a drag: takes it as an image, takes it for the page that asked for
// drops, or leaves it to the web view.
enum class Route { WebView, Image, Page };

// A drag that started in this window (text or a picture dragged inside the page) is the web
// view's own: it moves text between its fields, which a copy by the window would not.
bool startedInWindow(GtkWidget* view, GdkDrop* drop) {
    GdkDrag* drag = gdk_drop_get_drag(drop);
    GtkNative* native = gtk_widget_get_native(view);
    return drag && native && gdk_drag_get_surface(drag) == gtk_native_get_surface(native);
}

Route routeOf(GtkEventController* controller, GdkDrop* drop) {
    const std::vector<std::string> formats = dropFormats(gdk_drop_get_formats(drop));
    if (isImageOnlyDrag(formats)) return Route::Image;
    TavrikDragCatchView* view = viewOf(controller);
    if (windowTakesDrag(formats, dragCatchViewPageDrops(view)) && !startedInWindow(GTK_WIDGET(view), drop))
        return Route::Page;
    return Route::WebView;
}

// Returning no action leaves the drag to the web view's own target further down. The one action
// offered is copy, whatever else the source allows: a drop finishes with exactly one.
GdkDragAction onEnterOrMotion(GtkDropTargetAsync* target, GdkDrop* drop, double, double, gpointer) noexcept {
    return routeOf(GTK_EVENT_CONTROLLER(target), drop) == Route::WebView ? GdkDragAction(0) : GDK_ACTION_COPY;
}

void finishDrop(TavrikDragCatchView* view, GdkDrop* drop, Route route, double x, double y, MemoryPasteboard contents) {
    json::Array items =
        route == Route::Image ? PasteboardItems::collect(contents) : PasteboardItems::collectForPage(contents);
    if (items.empty()) {
        common::log::warning(route == Route::Image ? "drop: the dragged image could not be decoded"
                                                   : "drop: nothing in the drag could be read");
        gdk_drop_finish(drop, GdkDragAction(0));
        dragCatchViewBeep(view);
        return;
    }
    gdk_drop_finish(drop, GDK_ACTION_COPY);
    common::log::debug((route == Route::Image ? "drop: image delivered, " : "drop: drag delivered to the page, ") +
                       std::to_string(items.size()) + " record(s)");
    if (route == Route::Image) return dragCatchViewDeliver(view, std::move(items));
    dragCatchViewDeliverFiles(view, json::Object{{"items", std::move(items)}, {"x", x}, {"y", y}});
}

gboolean onDrop(GtkDropTargetAsync* target, GdkDrop* drop, double x, double y, gpointer) noexcept {
    const Route route = routeOf(GTK_EVENT_CONTROLLER(target), drop);
    if (route == Route::WebView) return FALSE;
    // The view may be gone by the time the data has arrived; then the drop just ends.
    auto weak = std::make_shared<gobj::Weak<GtkEventController>>(GTK_EVENT_CONTROLLER(target));
    readDrop(drop, [weak, route, x, y](GdkDrop* drop, MemoryPasteboard contents) {
        auto controller = weak->lock();
        if (!controller || !gtk_event_controller_get_widget(controller.get())) {
            common::log::info("drop: the window went away before the dragged data arrived");
            gdk_drop_finish(drop, GdkDragAction(0));
            return;
        }
        finishDrop(viewOf(controller.get()), drop, route, x, y, std::move(contents));
    });
    return TRUE;
}

}  // namespace

void attachDropTarget(TavrikDragCatchView* view) {
    GtkDropTargetAsync* target = gtk_drop_target_async_new(nullptr, GDK_ACTION_COPY);
    // Capture phase: the container decides before WebKit's own target inside it.
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(target), GTK_PHASE_CAPTURE);
    g_signal_connect(target, "drag-enter", G_CALLBACK(onEnterOrMotion), nullptr);
    g_signal_connect(target, "drag-motion", G_CALLBACK(onEnterOrMotion), nullptr);
    g_signal_connect(target, "drop", G_CALLBACK(onDrop), nullptr);
    gtk_widget_add_controller(GTK_WIDGET(view), GTK_EVENT_CONTROLLER(target));
}

}  // namespace drop
