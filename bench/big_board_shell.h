// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application side of bench_big_board: the shell as main() starts it (AppDelegate, the file
// opener on GApplication's "open", the files given as arguments), with probes that report on stdout,
// one "name monotonic-ns" line each, and a few commands read from stdin:
//   key          types Ctrl+S into the window (xdotool, through XTest, as a keyboard would)
//   inject PATH  gives the page the board in PATH as the shell's open would, but with no file behind it
//   choose PATH  File ▸ Open as the page asks for it; the Open chooser picks PATH and accepts
//   quit         ends the process at once
// Events: window, load, key (the shell has the key), handled_save (the shell has handled the page's
// saveJSON, or the saveJSONEnd of a board sent in pieces), titled (the window names the opened board),
// shown (a frame after that), injected, chooser (a chooser is mapped), chosen (the Open chooser accepted
// PATH).
#include <gdk/x11/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit/webkit.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "app/gtk_file_opener.h"
#include "startup_probe.h"

namespace bigshell {

inline app::AppDelegate* shellApp = nullptr;
inline bool instrumented = false, titled = false;
inline std::string chooseTarget;  // the file an Open chooser picks, once asked to
// The window answers as long as the main loop turns: the longest gap between ticks of a 10 ms
// timer since the page loaded, reported with "shown" as stall_us.
inline long long lastTick = 0, longestGap = 0;

inline void watchStalls() {
    g_timeout_add(10, G_SOURCE_FUNC(+[](gpointer) noexcept -> gboolean {
                      long long now = startup::nowNs();
                      if (lastTick) longestGap = std::max(longestGap, now - lastTick);
                      lastTick = now;
                      return G_SOURCE_CONTINUE;
                  }),
                  nullptr);
}

// Runs an async function in the page; `then` gets the time it finished.
inline void afterPage(const char* body, GVariant* args, void (*then)()) {
    webkit_web_view_call_async_javascript_function(
        shellApp->webView(), body, -1, args, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer then) noexcept {
            g_autoptr(GError) error = nullptr;
            if (JSCValue* v =
                    webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error))
                g_object_unref(v);
            if (error) std::fprintf(stderr, "page: %s\n", error->message);
            reinterpret_cast<void (*)()>(then)();
        },
        reinterpret_cast<gpointer>(then));
}

constexpr const char* kNextFrame = "await new Promise(r => requestAnimationFrame(() => setTimeout(r, 0))); return 1;";

inline void reportMemory(const char* prefix) {
    startup::report((std::string(prefix) + "_hwm_kb").c_str(), startup::statusKb(getpid(), "VmHWM"));
    startup::report((std::string(prefix) + "_rss_kb").c_str(), startup::statusKb(getpid(), "VmRSS"));
}

inline void cancelWhenSettled(GtkWindow* chooser) {
    // GTK 4.8 reports a folder load cut short by the chooser closing in a dialog of its own: wait for it.
    g_timeout_add(100, G_SOURCE_FUNC(+[](gpointer c) noexcept -> gboolean {
                      GFile* folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(c));
                      if (!folder) return G_SOURCE_CONTINUE;
                      g_object_unref(folder);
                      G_GNUC_BEGIN_IGNORE_DEPRECATIONS
                      gtk_dialog_response(GTK_DIALOG(c), GTK_RESPONSE_CANCEL);
                      G_GNUC_END_IGNORE_DEPRECATIONS
                      return G_SOURCE_REMOVE;
                  }),
                  chooser);
}

// Picks chooseTarget once the chooser has shown its first folder, then accepts when the choice sticks
// (the chooser may still switch to its first folder after ours was set).
inline void acceptWhenSettled(GtkWindow* chooser) {
    g_timeout_add(50, G_SOURCE_FUNC(+[](gpointer c) noexcept -> gboolean {
                      GtkFileChooser* fc = GTK_FILE_CHOOSER(c);
                      GFile* folder = gtk_file_chooser_get_current_folder(fc);
                      if (!folder) return G_SOURCE_CONTINUE;
                      g_object_unref(folder);
                      g_autoptr(GFile) target = g_file_new_for_path(chooseTarget.c_str());
                      g_autoptr(GFile) chosen = gtk_file_chooser_get_file(fc);
                      if (!chosen || !g_file_equal(chosen, target)) {
                          gtk_file_chooser_set_file(fc, target, nullptr);
                          return G_SOURCE_CONTINUE;
                      }
                      // The peak from here on is the open's: the chooser's own folder views peaked before.
                      if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
                          std::fputs("5", f);
                          std::fclose(f);
                      }
                      startup::report("chosen", startup::nowNs());
                      reportMemory("chosen");
                      G_GNUC_BEGIN_IGNORE_DEPRECATIONS
                      gtk_dialog_response(GTK_DIALOG(c), GTK_RESPONSE_ACCEPT);
                      G_GNUC_END_IGNORE_DEPRECATIONS
                      return G_SOURCE_REMOVE;
                  }),
                  chooser);
}

inline void onToplevels(GListModel* list, guint position, guint, guint added, gpointer) noexcept {
    for (guint i = position; i < position + added; ++i) {
        GObject* item = static_cast<GObject*>(g_list_model_get_item(list, i));
        if (GTK_IS_FILE_CHOOSER_DIALOG(item))
            g_signal_connect(item, "map", G_CALLBACK(+[](GtkWidget* w, gpointer) noexcept {
                                 startup::report("chooser", startup::nowNs());
                                 G_GNUC_BEGIN_IGNORE_DEPRECATIONS
                                 const bool open =
                                     gtk_file_chooser_get_action(GTK_FILE_CHOOSER(w)) == GTK_FILE_CHOOSER_ACTION_OPEN;
                                 G_GNUC_END_IGNORE_DEPRECATIONS
                                 if (open && !chooseTarget.empty())
                                     acceptWhenSettled(GTK_WINDOW(w));
                                 else
                                     cancelWhenSettled(GTK_WINDOW(w));
                             }),
                             nullptr);
        g_object_unref(item);
    }
}

inline void onTitle(GObject* window, GParamSpec*, gpointer) noexcept {
    const char* title = gtk_window_get_title(GTK_WINDOW(window));
    if (titled || !title || !std::string(title).ends_with(".json")) return;
    titled = true;
    startup::report("titled", startup::nowNs());
    afterPage(kNextFrame, nullptr, [] {
        startup::report("shown", startup::nowNs());
        startup::report("stall_us", longestGap / 1000);
        reportMemory("shown");
    });
}

inline void instrument() {
    if (instrumented || !shellApp->webView()) return;
    instrumented = true;
    startup::report("window", startup::nowNs());
    g_signal_connect(shellApp->window(), "notify::title", G_CALLBACK(onTitle), nullptr);
    g_signal_connect(shellApp->webView(), "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent e, gpointer) noexcept {
                         if (e != WEBKIT_LOAD_FINISHED) return;
                         startup::report("load", startup::nowNs());
                         longestGap = 0;
                         reportMemory("load");
                     }),
                     nullptr);
    // After the shell's own handler: runs once the shell has handled the message.
    g_signal_connect(webkit_web_view_get_user_content_manager(shellApp->webView()),
                     "script-message-received::canvasBridge",
                     G_CALLBACK(+[](WebKitUserContentManager*, JSCValue* value, gpointer) noexcept {
                         g_autoptr(JSCValue) action = jsc_value_object_get_property(value, "action");
                         g_autofree char* name = jsc_value_is_string(action) ? jsc_value_to_string(action) : nullptr;
                         // A board sent whole, or the end of one sent in pieces.
                         if (name && (std::string(name) == "saveJSON" || std::string(name) == "saveJSONEnd"))
                             startup::report("handled_save", startup::nowNs());
                     }),
                     nullptr);
    GtkEventController* keys = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_CAPTURE);
    g_signal_connect(keys, "key-pressed",
                     G_CALLBACK(+[](GtkEventControllerKey*, guint keyval, guint, GdkModifierType state,
                                    gpointer) noexcept -> gboolean {
                         if ((keyval == GDK_KEY_s || keyval == GDK_KEY_S) && (state & GDK_CONTROL_MASK))
                             startup::report("key", startup::nowNs());
                         return FALSE;
                     }),
                     nullptr);
    gtk_widget_add_controller(GTK_WIDGET(shellApp->window()), keys);
    g_signal_connect(gtk_window_get_toplevels(), "items-changed", G_CALLBACK(onToplevels), nullptr);
}

inline void typeCtrlS() {
    GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(shellApp->window()));
    if (!GDK_IS_X11_SURFACE(surface)) return;
    std::string xid = std::to_string(gdk_x11_surface_get_xid(surface));
    const char* argv[] = {"xdotool", "windowfocus", "--sync", xid.c_str(), "key", "ctrl+s", nullptr};
    g_autoptr(GError) error = nullptr;
    if (!g_spawn_async(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                       &error))
        std::fprintf(stderr, "xdotool: %s\n", error->message);
}

inline void inject(const std::string& path) {
    g_autofree char* text = nullptr;
    if (!g_file_get_contents(path.c_str(), &text, nullptr, nullptr)) return;
    GVariantDict args;
    g_variant_dict_init(&args, nullptr);
    g_variant_dict_insert_value(&args, "t", g_variant_new_take_string(g_steal_pointer(&text)));
    std::string body = std::string("window.__restoreNative(t); ") + kNextFrame;
    // The body must outlive the call only until WebKit has copied it: it is sent at once.
    afterPage(body.c_str(), g_variant_dict_end(&args), [] { startup::report("injected", startup::nowNs()); });
}

inline gboolean onCommand(gint fd, GIOCondition, gpointer) noexcept {
    static std::string pending;
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) _exit(0);  // the driver is gone
    pending.append(buf, static_cast<std::size_t>(n));
    for (auto nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
        std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        if (line == "key") typeCtrlS();
        if (line.rfind("inject ", 0) == 0) inject(line.substr(7));
        if (line.rfind("choose ", 0) == 0) {
            chooseTarget = line.substr(7);
            webkit_web_view_evaluate_javascript(shellApp->webView(), "window.__menuAction('openJSON')", -1, nullptr,
                                                nullptr, nullptr, nullptr, nullptr);
        }
        if (line == "memory") reportMemory("now");
        if (line == "quit") _exit(0);
    }
    return G_SOURCE_CONTINUE;
}

// main() for the shell side: `files` are opened as the command line opens them.
inline int run(const std::string& resources, std::vector<std::string> files) {
    g_set_prgname("tavrik");
    g_set_application_name("TAVRIK");
    GtkApplication* gtkApp = gtk_application_new(
        "org.tavrik.TavrikBigBench", GApplicationFlags(G_APPLICATION_HANDLES_OPEN | G_APPLICATION_NON_UNIQUE));
    app::LaunchOptions launch;
    launch.resourcesDir = resources;
    auto delegate = std::make_unique<app::AppDelegate>(gtkApp, launch);
    shellApp = delegate.get();
    g_signal_connect(gtkApp, "activate", G_CALLBACK(+[](GApplication*, gpointer d) noexcept {
                         static_cast<app::AppDelegate*>(d)->applicationDidFinishLaunching();
                         instrument();
                     }),
                     delegate.get());
    app::FileOpener opener(*delegate);
    g_signal_connect(gtkApp, "open", G_CALLBACK(app::FileOpener::onOpen), &opener);
    g_signal_connect_after(gtkApp, "open",
                           G_CALLBACK(+[](GApplication*, gpointer, gint, gchar*, gpointer) noexcept { instrument(); }),
                           nullptr);
    g_unix_fd_add(STDIN_FILENO, G_IO_IN, onCommand, nullptr);
    watchStalls();
    std::vector<char*> argv{const_cast<char*>("tavrik")};
    for (auto& f : files) argv.push_back(f.data());
    argv.push_back(nullptr);
    return g_application_run(G_APPLICATION(gtkApp), static_cast<int>(argv.size() - 1), argv.data());
}

}  // namespace bigshell
