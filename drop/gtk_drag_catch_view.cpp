#include "drop/gtk_drag_catch_view.h"

#include "drop/gtk_drop_target.h"

struct _TavrikDragCatchView {
    GtkWidget parent_instance;
    GtkWidget* child;
    drop::OnItems* onItems;
    drop::OnFiles* onFiles;
    drop::FileLists fileLists;
    std::function<void()>* beep;
};

G_DEFINE_FINAL_TYPE(TavrikDragCatchView, tavrik_drag_catch_view, GTK_TYPE_WIDGET)

static void tavrik_drag_catch_view_dispose(GObject* object) {
    auto* self = TAVRIK_DRAG_CATCH_VIEW(object);
    g_clear_pointer(&self->child, gtk_widget_unparent);
    delete self->onItems;
    self->onItems = nullptr;
    delete self->onFiles;
    self->onFiles = nullptr;
    delete self->beep;
    self->beep = nullptr;
    G_OBJECT_CLASS(tavrik_drag_catch_view_parent_class)->dispose(object);
}

static void tavrik_drag_catch_view_class_init(TavrikDragCatchViewClass* klass) {
    G_OBJECT_CLASS(klass)->dispose = tavrik_drag_catch_view_dispose;
    gtk_widget_class_set_layout_manager_type(GTK_WIDGET_CLASS(klass), GTK_TYPE_BIN_LAYOUT);
    gtk_widget_class_set_css_name(GTK_WIDGET_CLASS(klass), "dragcatchview");
}

static void tavrik_drag_catch_view_init(TavrikDragCatchView* self) {
    self->child = nullptr;
    self->onItems = nullptr;
    self->onFiles = nullptr;
    self->fileLists = drop::FileLists::LeftToWebView;
    self->beep = nullptr;
    drop::attachDropTarget(self);
}

namespace drop {

GtkWidget* dragCatchViewNew() { return GTK_WIDGET(g_object_new(TAVRIK_TYPE_DRAG_CATCH_VIEW, nullptr)); }

void dragCatchViewSetChild(TavrikDragCatchView* view, GtkWidget* child) {
    g_clear_pointer(&view->child, gtk_widget_unparent);
    view->child = child;
    if (child) {
        gtk_widget_set_hexpand(child, TRUE);
        gtk_widget_set_vexpand(child, TRUE);
        gtk_widget_set_parent(child, GTK_WIDGET(view));
    }
}

GtkWidget* dragCatchViewChild(TavrikDragCatchView* view) { return view->child; }

void dragCatchViewSetOnItems(TavrikDragCatchView* view, OnItems onItems) {
    delete view->onItems;
    view->onItems = onItems ? new OnItems(std::move(onItems)) : nullptr;
}

void dragCatchViewSetOnFiles(TavrikDragCatchView* view, OnFiles onFiles) {
    delete view->onFiles;
    view->onFiles = onFiles ? new OnFiles(std::move(onFiles)) : nullptr;
}

void dragCatchViewSetFileLists(TavrikDragCatchView* view, FileLists fileLists) { view->fileLists = fileLists; }

FileLists dragCatchViewFileLists(TavrikDragCatchView* view) {
    return view->onFiles && *view->onFiles ? view->fileLists : FileLists::LeftToWebView;
}

void dragCatchViewDeliverFiles(TavrikDragCatchView* view, json::Value drop) {
    if (view->onFiles && *view->onFiles) (*view->onFiles)(std::move(drop));
}

void dragCatchViewSetBeep(TavrikDragCatchView* view, std::function<void()> beep) {
    delete view->beep;
    view->beep = beep ? new std::function<void()>(std::move(beep)) : nullptr;
}

void dragCatchViewBeep(TavrikDragCatchView* view) {
    if (view->beep && *view->beep) (*view->beep)();
}

void dragCatchViewDeliver(TavrikDragCatchView* view, json::Array items) {
    if (view->onItems && *view->onItems) (*view->onItems)(std::move(items));
}

}  // namespace drop
