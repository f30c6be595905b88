// SPDX-License-Identifier: GPL-3.0-or-later
// The anchor of bench_big_board: the least GTK 4 + WebKitGTK 6.0 program that reads a board file
// and JSON.parses it in a page, once the page has loaded. Run by bench_big_board, not on its own:
//   bench_minimal_board_parse BOARD.json
// Reports on stdout ("name monotonic-ns"): load, then parsed (the page read the file itself, with
// XMLHttpRequest) and handed (the file read here and handed to the page as a call's argument, then
// parsed there), then the peak memory of this process and of its web process.
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <string>

#include "startup_probe.h"

namespace {

const char* boardPath = nullptr;
WebKitWebView* view = nullptr;

// Runs an async function in the page with `args`, then `then` with the number it returned (-1 on error).
void callPage(const char* body, GVariant* args, void (*then)(double)) {
    webkit_web_view_call_async_javascript_function(
        view, body, -1, args, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer then) noexcept {
            g_autoptr(GError) error = nullptr;
            JSCValue* value =
                webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
            double n = value && jsc_value_is_number(value) ? jsc_value_to_double(value) : -1;
            if (error) std::fprintf(stderr, "page: %s\n", error->message);
            if (value) g_object_unref(value);
            reinterpret_cast<void (*)(double)>(then)(n);
        },
        reinterpret_cast<gpointer>(then));
}

void handed(double items) {
    startup::report("handed", startup::nowNs());
    startup::report("items", static_cast<long long>(items));
    startup::report("peak_ui_kb", startup::statusKb(getpid(), "VmHWM"));
    startup::report("peak_all_kb", startup::peakKbWithDescendants());
    _exit(0);
}

void parsed(double items) {
    startup::report("parsed", startup::nowNs());
    startup::report("items", static_cast<long long>(items));
    // Then the same bytes read here and handed over as an argument, as a shell would hand them.
    g_autofree char* text = nullptr;
    gsize size = 0;
    g_file_get_contents(boardPath, &text, &size, nullptr);
    GVariantDict args;
    g_variant_dict_init(&args, nullptr);
    g_variant_dict_insert_value(&args, "t", g_variant_new_take_string(g_steal_pointer(&text)));
    callPage("return JSON.parse(t).items.length;", g_variant_dict_end(&args), handed);
}

void onLoad(WebKitWebView*, WebKitLoadEvent event, gpointer) noexcept {
    if (event != WEBKIT_LOAD_FINISHED) return;
    startup::report("load", startup::nowNs());
    g_autofree char* uri = g_filename_to_uri(boardPath, nullptr, nullptr);
    GVariantDict args;
    g_variant_dict_init(&args, nullptr);
    g_variant_dict_insert(&args, "u", "s", uri);
    callPage(
        "const text = await new Promise((ok, fail) => { const x = new XMLHttpRequest(); x.open('GET', u);"
        " x.onload = () => ok(x.responseText); x.onerror = fail; x.send(); });"
        "return JSON.parse(text).items.length;",
        g_variant_dict_end(&args), parsed);
}

void onActivate(GtkApplication* app, gpointer) noexcept {
    view = WEBKIT_WEB_VIEW(webkit_web_view_new());
    WebKitSettings* settings = webkit_web_view_get_settings(view);
    webkit_settings_set_allow_file_access_from_file_urls(settings, TRUE);
    g_signal_connect(view, "load-changed", G_CALLBACK(onLoad), nullptr);
    GtkWidget* window = gtk_application_window_new(app);
    gtk_window_set_default_size(GTK_WINDOW(window), 1280, 820);
    gtk_window_set_child(GTK_WINDOW(window), GTK_WIDGET(view));
    gtk_window_present(GTK_WINDOW(window));
    // A file page, so that it may read the board beside it.
    g_autofree char* dir = g_path_get_dirname(boardPath);
    g_autofree char* base = g_filename_to_uri(dir, nullptr, nullptr);
    std::string baseUri = std::string(base) + "/";
    webkit_web_view_load_html(view, "<!doctype html><title>anchor</title><p>anchor</p>", baseUri.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s BOARD.json (run by bench_big_board)\n", argv[0]);
        return 2;
    }
    boardPath = argv[1];
    GtkApplication* app = gtk_application_new("org.tavrik.BenchBoardParse", G_APPLICATION_NON_UNIQUE);
    g_signal_connect(app, "activate", G_CALLBACK(onActivate), nullptr);
    char* appArgv[] = {argv[0], nullptr};
    return g_application_run(G_APPLICATION(app), 1, appArgv);
}
