#include "drop/gtk_drop_target.h"

#include <glib/gstdio.h>
#include <sys/stat.h>

#include <memory>

#include "drop/drag_types.h"
#include "drop/gtk_pasteboard.h"
#include "drop/pasteboard_items.h"
#include "gobj/handles.h"

namespace drop {

namespace {

bool takes(GdkDrop* drop) { return windowTakesDrag(dropFormats(gdk_drop_get_formats(drop))); }

// Returning no action leaves the drag to the web view's own target further down.
GdkDragAction onEnterOrMotion(GtkDropTargetAsync*, GdkDrop* drop, double, double, gpointer) noexcept {
    return takes(drop) ? GDK_ACTION_COPY : GdkDragAction(0);
}

// Files left out for being larger than the limit, as records the page can name in its message;
// a page that does not know the kind passes over them.
json::Array refusedFiles(const MemoryPasteboard& contents) {
    json::Array refused;
    for (const std::string& path : contents.files) {
        GStatBuf st;
        if (g_stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            static_cast<std::uint64_t>(st.st_size) <= PasteboardItems::kMaxFileBytes)
            continue;
        g_autofree char* name = g_path_get_basename(path.c_str());
        refused.push_back(json::Object{{"kind", "refused"}, {"name", std::string(name)}, {"reason", "tooLarge"}});
    }
    return refused;
}

void finishDrop(GtkEventController* controller, GdkDrop* drop, MemoryPasteboard contents) {
    auto* view = TAVRIK_DRAG_CATCH_VIEW(gtk_event_controller_get_widget(controller));
    json::Array items = PasteboardItems::collect(contents);
    for (json::Value& r : refusedFiles(contents)) items.push_back(std::move(r));
    if (items.empty()) {
        gdk_drop_finish(drop, GdkDragAction(0));
        dragCatchViewBeep(view);
        return;
    }
    gdk_drop_finish(drop, GDK_ACTION_COPY);
    dragCatchViewDeliver(view, std::move(items));
}

gboolean onDrop(GtkDropTargetAsync* target, GdkDrop* drop, double, double, gpointer) noexcept {
    if (!takes(drop)) return FALSE;
    // The view may be gone by the time the data has arrived; then the drop just ends.
    auto weak = std::make_shared<gobj::Weak<GtkEventController>>(GTK_EVENT_CONTROLLER(target));
    readDrop(drop, [weak](GdkDrop* drop, MemoryPasteboard contents) {
        auto controller = weak->lock();
        if (!controller || !gtk_event_controller_get_widget(controller.get())) {
            gdk_drop_finish(drop, GdkDragAction(0));
            return;
        }
        finishDrop(controller.get(), drop, std::move(contents));
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
