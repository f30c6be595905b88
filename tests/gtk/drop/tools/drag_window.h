// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window the drag-source tools show: titled "drag source", its whole area drags `content`
// (taken over), and the program ends when the drag ends.
#include <gtk/gtk.h>

inline int runDragWindow(GdkContentProvider* content) {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    GtkWindow* window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_title(window, "drag source");
    gtk_window_set_default_size(window, 200, 200);
    GtkWidget* area = gtk_label_new("drag me");
    GtkDragSource* source = gtk_drag_source_new();
    gtk_drag_source_set_content(source, content);
    g_object_unref(content);
    gtk_drag_source_set_actions(source, GDK_ACTION_COPY);
    g_signal_connect_swapped(source, "drag-end", G_CALLBACK(g_main_loop_quit), loop);
    gtk_widget_add_controller(area, GTK_EVENT_CONTROLLER(source));
    gtk_window_set_child(window, area);
    gtk_window_present(window);
    g_main_loop_run(loop);
    return 0;
}
