// SPDX-License-Identifier: GPL-3.0-or-later
// The reference page's recovery copy of a board that carries large files, written for the first
// time: how long after the write begins the first transaction commits (until then a crash loses the
// board) and when the whole copy is stored. Runs the page of the source tree, or of the folder given
// as the first argument, in a real web view with IndexedDB on disk. Needs a display.
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Eval {
    bool done = false;
    std::string text;
};

// Runs `script` (an expression; a promise is awaited) and returns its value as JSON text.
std::string eval(WebKitWebView* view, const std::string& script) {
    Eval e;
    std::string body = "return JSON.stringify(await (" + script + "));";
    webkit_web_view_call_async_javascript_function(
        view, body.c_str(), -1, nullptr, nullptr, nullptr, nullptr,
        +[](GObject* src, GAsyncResult* res, gpointer p) noexcept {
            auto* e = static_cast<Eval*>(p);
            GError* error = nullptr;
            JSCValue* v = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(src), res, &error);
            if (v) {
                char* s = jsc_value_to_string(v);
                e->text = s;
                g_free(s);
                g_object_unref(v);
            } else {
                e->text = std::string("error: ") + (error ? error->message : "?");
                g_clear_error(&error);
            }
            e->done = true;
        },
        &e);
    while (!e.done) g_main_context_iteration(nullptr, TRUE);
    return e.text;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The board: `files` files of 4 million characters each and a note; then one first copy, timed.
// Answers [first commit ms, last commit ms, transactions].
const char* kRun = R"((async (files) => {
  await recovery.settled(Date.now(), true);
  board.load({items: []});
  await recovery.flush();  // the clearing and the empty board's copy are done before the clock starts
  for (let i = 0; i < files; i++) {
    const ch = String.fromCharCode(97 + (i % 26));
    board.addFile(`f${i}.bin`, 'application/octet-stream', 'data:application/octet-stream;base64,' + btoa(ch.repeat(3000000) + i));
  }
  board.addNote('small');
  const commits = [];
  if (!window.__timed) {
    window.__timed = true;
    const open = IDBDatabase.prototype.transaction;
    IDBDatabase.prototype.transaction = function (store, mode) {
      const tx = open.apply(this, arguments);
      if (mode === 'readwrite') tx.addEventListener('complete', () => window.__commits?.push(performance.now()));
      return tx;
    };
  }
  window.__commits = commits;
  const start = performance.now();
  await recovery.flush();
  window.__commits = null;
  return [commits[0] - start, commits[commits.length - 1] - start, commits.length];
}))";

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::printf("needs a display: run under xvfb-run\n");
        return 1;
    }
    std::string html = argc > 1 ? argv[1] : TAVRIK_SOURCE_DIR "/html";
    // IndexedDB on disk, in a folder of this run's own.
    char tmpl[] = "/tmp/tavrik-bench-recovery-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    setenv("XDG_DATA_HOME", tmpl, 1);
    setenv("XDG_CACHE_HOME", tmpl, 1);
    gtk_init();

    WebKitUserContentManager* ucm = webkit_user_content_manager_new();
    webkit_user_content_manager_register_script_message_handler(ucm, "canvasBridge", nullptr);
    auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", ucm, nullptr));
    GtkWidget* win = gtk_window_new();
    gtk_window_set_child(GTK_WINDOW(win), GTK_WIDGET(view));
    gtk_window_present(GTK_WINDOW(win));
    std::string uri = "file://" + html + "/index.html";
    webkit_web_view_load_uri(view, uri.c_str());
    while (webkit_web_view_is_loading(view)) g_main_context_iteration(nullptr, TRUE);
    std::string ready = eval(view, "typeof board === 'object' && typeof recovery === 'object'");
    if (ready != "true") {
        std::printf("the page did not start: %s\n", ready.c_str());
        return 1;
    }

    std::printf(
        "First recovery copy of a board with large files (page: %s); ms from the write's start, median of 5\n\n",
        html.c_str());
    std::printf("| %8s | %12s | %15s | %12s |\n", "board", "transactions", "first commit ms", "stored ms");
    std::printf("|---------:|-------------:|----------------:|-------------:|\n");
    for (int files : {3, 10}) {
        std::vector<double> first, last;
        double transactions = 0;
        for (int round = 0; round < 6; ++round) {
            std::string out = eval(view, std::string(kRun) + "(" + std::to_string(files) + ")");
            double a = 0, b = 0, n = 0;
            if (std::sscanf(out.c_str(), "[%lf,%lf,%lf]", &a, &b, &n) != 3) {
                std::printf("failed: %s\n", out.c_str());
                return 1;
            }
            if (round == 0) continue;  // warms the store up
            first.push_back(a);
            last.push_back(b);
            transactions = n;
        }
        std::printf("| %5d MB | %12.0f | %15.0f | %12.0f |\n", files * 4, transactions, median(first), median(last));
    }
    std::string rm = std::string("rm -rf ") + tmpl + " 2>/dev/null";
    if (std::system(rm.c_str()) != 0) std::printf("(left %s behind)\n", tmpl);
    return 0;
}
