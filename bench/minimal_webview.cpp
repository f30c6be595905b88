// SPDX-License-Identifier: GPL-3.0-or-later
// The least GTK 4 + WebKitGTK 6.0 program that shows a page and hears its messages: the
// baseline bench_startup compares the shell with. Run by bench_startup, not on its own:
//   bench_minimal_webview PAGE.html
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include "startup_probe.h"

namespace {

startup::Progress progress;
const char* pagePath = nullptr;

void onMessage(WebKitUserContentManager*, JSCValue*, gpointer) noexcept {
    if (progress.messaged) return;
    progress.messaged = true;
    startup::report("message", startup::nowNs());
    progress.finishIfDone();
}

void onLoad(WebKitWebView*, WebKitLoadEvent event, gpointer) noexcept {
    if (event != WEBKIT_LOAD_FINISHED || progress.loaded) return;
    progress.loaded = true;
    startup::report("load", startup::nowNs());
    progress.finishIfDone();
}

void onActivate(GtkApplication* app, gpointer) noexcept {
    WebKitUserContentManager* manager = webkit_user_content_manager_new();
    webkit_user_content_manager_register_script_message_handler(manager, "canvasBridge", nullptr);
    g_signal_connect(manager, "script-message-received::canvasBridge", G_CALLBACK(onMessage), nullptr);
    auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", manager, nullptr));
    g_object_unref(manager);
    g_signal_connect(view, "load-changed", G_CALLBACK(onLoad), nullptr);

    GtkWidget* window = gtk_application_window_new(app);
    gtk_window_set_default_size(GTK_WINDOW(window), 1280, 820);
    gtk_window_set_child(GTK_WINDOW(window), GTK_WIDGET(view));
    gtk_window_present(GTK_WINDOW(window));
    if (gtk_widget_get_mapped(window)) startup::report("window", startup::nowNs());

    g_autofree char* uri = g_filename_to_uri(pagePath, nullptr, nullptr);
    webkit_web_view_load_uri(view, uri);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PAGE.html (run by bench_startup)\n", argv[0]);
        return 2;
    }
    pagePath = argv[1];
    GtkApplication* app = gtk_application_new("org.tavrik.BenchMinimal", G_APPLICATION_DEFAULT_FLAGS);
    g_signal_connect(app, "activate", G_CALLBACK(onActivate), nullptr);
    char* appArgv[] = {argv[0], nullptr};
    return g_application_run(G_APPLICATION(app), 1, appArgv);
}
