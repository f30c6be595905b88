// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/gtk_drag_catch_view.h"

#include <webkit/webkit.h>

#include <cstdio>

#include "drop/gtk_drop_target.h"
#include "drop/shell_labels.h"

struct _TavrikDragCatchView {
    GtkWidget parent_instance;
    GtkWidget* child;
    drop::OnItems* onItems;
    drop::OnFiles* onFiles;
    drop::PageDrops pageDrops;
    drop::OnPaste* onPaste;
    drop::PasteItems pasteItems;
    std::function<void()>* beep;
    std::function<std::string(const std::string&)>* translate;
    double pinchScale;  // the zoom gesture's scale when last passed on
};

G_DEFINE_FINAL_TYPE(TavrikDragCatchView, tavrik_drag_catch_view, GTK_TYPE_WIDGET)

static void tavrik_drag_catch_view_dispose(GObject* object) {
    auto* self = TAVRIK_DRAG_CATCH_VIEW(object);
    g_clear_pointer(&self->child, gtk_widget_unparent);
    delete self->onItems;
    self->onItems = nullptr;
    delete self->onFiles;
    self->onFiles = nullptr;
    delete self->onPaste;
    self->onPaste = nullptr;
    delete self->beep;
    self->beep = nullptr;
    delete self->translate;
    self->translate = nullptr;
    G_OBJECT_CLASS(tavrik_drag_catch_view_parent_class)->dispose(object);
}

static void tavrik_drag_catch_view_class_init(TavrikDragCatchViewClass* klass) {
    G_OBJECT_CLASS(klass)->dispose = tavrik_drag_catch_view_dispose;
    gtk_widget_class_set_layout_manager_type(GTK_WIDGET_CLASS(klass), GTK_TYPE_BIN_LAYOUT);
    gtk_widget_class_set_css_name(GTK_WIDGET_CLASS(klass), "dragcatchview");
    gtk_widget_class_set_accessible_role(GTK_WIDGET_CLASS(klass), GTK_ACCESSIBLE_ROLE_GROUP);
}

static void tavrik_drag_catch_view_init(TavrikDragCatchView* self) {
    self->child = nullptr;
    self->onItems = nullptr;
    self->onFiles = nullptr;
    self->pageDrops = drop::PageDrops::LeftToWebView;
    self->onPaste = nullptr;
    self->pasteItems = drop::PasteItems::Off;
    self->beep = nullptr;
    self->translate = nullptr;
    self->pinchScale = 1.0;
    drop::attachDropTarget(self);
    drop::attachPinch(self);
}

namespace drop {

namespace {

void onPinchBegin(GtkGesture* gesture, GdkEventSequence* sequence, gpointer data) noexcept {
    TAVRIK_DRAG_CATCH_VIEW(data)->pinchScale = 1.0;
    gtk_gesture_set_sequence_state(gesture, sequence, GTK_EVENT_SEQUENCE_CLAIMED);
}

void onPinchScale(GtkGestureZoom* gesture, double scale, gpointer data) noexcept {
    auto* view = TAVRIK_DRAG_CATCH_VIEW(data);
    double x = 0;
    double y = 0;
    if (!view->child || !WEBKIT_IS_WEB_VIEW(view->child) || scale <= 0 || view->pinchScale <= 0 ||
        !gtk_gesture_get_bounding_box_center(GTK_GESTURE(gesture), &x, &y))
        return;
    double factor = scale / view->pinchScale;
    view->pinchScale = scale;
    char script[160];
    std::snprintf(script, sizeof script, "window.__pinchZoom && window.__pinchZoom(%.6f, %.1f, %.1f)", factor, x, y);
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view->child), script, -1, nullptr, nullptr, nullptr, nullptr,
                                        nullptr);
}

}  // namespace

// A touchpad pinch over the page zooms the board around the fingers, as Ctrl + wheel does: taken
// here, before WebKit, which would otherwise magnify the whole page (toolbar and panel included)
// and never tell it. The page gets each step's factor through the guarded __pinchZoom.
void attachPinch(TavrikDragCatchView* self) {
    GtkGesture* zoom = gtk_gesture_zoom_new();
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(zoom), GTK_PHASE_CAPTURE);
    g_signal_connect(zoom, "begin", G_CALLBACK(onPinchBegin), self);
    g_signal_connect(zoom, "scale-changed", G_CALLBACK(onPinchScale), self);
    gtk_widget_add_controller(GTK_WIDGET(self), GTK_EVENT_CONTROLLER(zoom));
}

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

void dragCatchViewSetPageDrops(TavrikDragCatchView* view, PageDrops pageDrops) { view->pageDrops = pageDrops; }

PageDrops dragCatchViewPageDrops(TavrikDragCatchView* view) {
    return view->onFiles && *view->onFiles ? view->pageDrops : PageDrops::LeftToWebView;
}

void dragCatchViewSetOnPaste(TavrikDragCatchView* view, OnPaste onPaste) {
    delete view->onPaste;
    view->onPaste = onPaste ? new OnPaste(std::move(onPaste)) : nullptr;
}

void dragCatchViewSetPasteItems(TavrikDragCatchView* view, PasteItems pasteItems) { view->pasteItems = pasteItems; }

PasteItems dragCatchViewPasteItems(TavrikDragCatchView* view) {
    return view->onPaste && *view->onPaste ? view->pasteItems : PasteItems::Off;
}

void dragCatchViewDeliverPaste(TavrikDragCatchView* view, json::Value paste, std::function<void()> then) {
    if (view->onPaste && *view->onPaste) return (*view->onPaste)(std::move(paste), std::move(then));
    then();
}

TavrikDragCatchView* dragCatchViewOf(GtkWidget* widget) {
    for (GtkWidget* w = widget; w; w = gtk_widget_get_parent(w))
        if (TAVRIK_IS_DRAG_CATCH_VIEW(w)) return TAVRIK_DRAG_CATCH_VIEW(w);
    return nullptr;
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

namespace {

void setLabel(GtkWidget* widget, const std::string& label) {
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_PROPERTY_LABEL, label.c_str(), -1);
}

GtkWidget* findMenuBar(GtkWidget* widget) {
    if (GTK_IS_POPOVER_MENU_BAR(widget)) return widget;
    for (GtkWidget* c = gtk_widget_get_first_child(widget); c; c = gtk_widget_get_next_sibling(c))
        if (GtkWidget* found = findMenuBar(c)) return found;
    return nullptr;
}

void relabel(TavrikDragCatchView* view) {
    if (!view->translate) return;
    auto label = [view](drop::ShellLabel which) { return (*view->translate)(drop::shellLabelKey(which)); };
    setLabel(GTK_WIDGET(view), label(drop::ShellLabel::DropArea));
    if (view->child) setLabel(view->child, label(drop::ShellLabel::Board));
    auto* root = GTK_WIDGET(gtk_widget_get_root(GTK_WIDGET(view)));
    if (GtkWidget* bar = root ? findMenuBar(root) : nullptr) setLabel(bar, label(drop::ShellLabel::MenuBar));
}

}  // namespace

void dragCatchViewLabelWidgets(TavrikDragCatchView* view, GtkApplication* app,
                               std::function<std::string(const std::string&)> translate) {
    delete view->translate;
    view->translate = new std::function<std::string(const std::string&)>(std::move(translate));
    relabel(view);
    // The menu bar appears when the window is shown, and is made again for each language: labelled
    // once the window has taken the new one.
    auto later = +[](TavrikDragCatchView* v) noexcept {
        g_idle_add_full(
            G_PRIORITY_DEFAULT_IDLE,
            +[](gpointer data) noexcept -> gboolean {
                relabel(TAVRIK_DRAG_CATCH_VIEW(data));
                return G_SOURCE_REMOVE;
            },
            g_object_ref(v), g_object_unref);
    };
    g_signal_connect(view, "map", G_CALLBACK(later), nullptr);
    if (app) g_signal_connect_object(app, "notify::menubar", G_CALLBACK(later), view, G_CONNECT_SWAPPED);
}

}  // namespace drop
