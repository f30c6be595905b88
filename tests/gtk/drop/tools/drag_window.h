// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window the drag-source tools show: titled "drag source", its whole area drags `content`
// (taken over), and the program ends when the drag ends.
#include <gtk/gtk.h>

#include <string>

// How the drag is offered, and what the program tells the test about it.
struct DragOptions {
    GdkDragAction actions = GDK_ACTION_COPY;
    // A folder where the files "began" and "accepted" appear once the drag has begun and once a
    // drop target has accepted it (the cursor a user would see change).
    std::string marks;
};

// The exit status says how the drag ended: 0 dropped and finished as a copy, 3 cancelled (or
// refused), 4 finished as a move.
enum DragEnd { kCopied = 0, kCancelled = 3, kMoved = 4 };

struct DragRun {
    GMainLoop* loop;
    DragOptions options;
    bool cancelled = false;
    int status = kCancelled;
};

inline int runDragWindow(GdkContentProvider* content, DragOptions options = {}) {
    DragRun run{g_main_loop_new(nullptr, FALSE), std::move(options)};
    GtkWindow* window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_title(window, "drag source");
    gtk_window_set_default_size(window, 200, 200);
    GtkWidget* area = gtk_label_new("drag me");
    GtkDragSource* source = gtk_drag_source_new();
    gtk_drag_source_set_content(source, content);
    g_object_unref(content);
    gtk_drag_source_set_actions(source, run.options.actions);
    g_signal_connect(source, "drag-begin", G_CALLBACK(+[](GtkDragSource*, GdkDrag* drag, gpointer data) noexcept {
                         auto mark = [](DragRun* run, const char* name) {
                             if (run->options.marks.empty()) return;
                             g_autofree char* path = g_build_filename(run->options.marks.c_str(), name, nullptr);
                             g_file_set_contents(path, "", 0, nullptr);
                         };
                         mark(static_cast<DragRun*>(data), "began");
                         auto watch = +[](GdkDrag* d, GParamSpec*, gpointer data) noexcept {
                             auto* run = static_cast<DragRun*>(data);
                             if (gdk_drag_get_selected_action(d) && !run->options.marks.empty()) {
                                 g_autofree char* path =
                                     g_build_filename(run->options.marks.c_str(), "accepted", nullptr);
                                 g_file_set_contents(path, "", 0, nullptr);
                             }
                         };
                         g_signal_connect(drag, "notify::selected-action", G_CALLBACK(watch), data);
                     }),
                     &run);
    g_signal_connect(source, "drag-end",
                     G_CALLBACK(+[](GtkDragSource*, GdkDrag*, gboolean deleteData, gpointer data) noexcept {
                         // GTK says "cancel" first when the drop was refused or never finished.
                         auto* run = static_cast<DragRun*>(data);
                         run->status = run->cancelled ? kCancelled : deleteData ? kMoved : kCopied;
                         g_main_loop_quit(run->loop);
                     }),
                     &run);
    g_signal_connect(source, "drag-cancel",
                     G_CALLBACK(+[](GtkDragSource*, GdkDrag*, GdkDragCancelReason, gpointer data) noexcept {
                         static_cast<DragRun*>(data)->cancelled = true;
                         return FALSE;
                     }),
                     &run);
    gtk_widget_add_controller(area, GTK_EVENT_CONTROLLER(source));
    gtk_window_set_child(window, area);
    gtk_window_present(window);
    g_main_loop_run(run.loop);
    return run.status;
}
