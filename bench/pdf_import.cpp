// SPDX-License-Identifier: GPL-3.0-or-later
// A PDF import end to end: the application as main() composes it, its own page, and a 120-page
// mixed document (text, vector drawings, photos, scans) uploaded in chunks the way the page does it,
// against the renderer alone on the same bytes; the UI process's memory over five imports in a row;
// and a 25 MiB data URL from the page to bytes against a bare postMessage of the same string.
//
//   dbus-run-session --config-file=tests/session-bus.conf -- xvfb-run -a ./build/bench/bench_pdf_import [IMPORTS]
//       [text] [sink] [load] [no-upload] [page=DIR]
//
// The document is generated once, deterministically, and kept beside this program.
#include <cairo.h>
#include <gtk/gtk.h>
#include <sys/resource.h>
#include <unistd.h>
#include <webkit/webkit.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "bridge/webkit_script_message.h"
#include "common/base64.h"
#include "files/render_page.h"
#include "files/render_process.h"
#include "pdf_import_document.h"
#include "pdf_import_report.h"
#include "proc_stats.h"
#include "unit/files/render_fixtures.h"

namespace {

using namespace pdfimport;

using Clock = std::chrono::steady_clock;
double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
double epochMs() { return static_cast<double>(g_get_real_time()) / 1000.0; }

// ---- the application and its page --------------------------------------------------------------

// What the page reports about one import (epoch milliseconds, the page's clock).
struct Import {
    double start = 0, posted = 0, firstPage = 0, lastPage = 0, rendered = 0, shown = 0;
    int pages = 0;
    double lastChunkAt = 0;    // native: when the shell had the upload's last byte
    double uploadMainCpu = 0;  // main-thread CPU milliseconds until then
    double uiPeakMiB = 0, uiAfterMiB = 0;
    int frames = 0;                         // window frames drawn from the importPdf call to the last page shown
    double pageStallMs = 0, uiStallMs = 0;  // the longest the page's and the shell's main loops were held up
    double recoveryMs = 0;                  // writing the recovery copy of the imported board, afterwards
    double recoveryStallMs = 0;             // the longest the page's main loop was held up by it
    double smallChangeMs = 0;               // then the copy after a note is added to the imported board
    double smallChangeStallMs = 0;
    Cpu cpu;
};

struct Bench {
    app::AppDelegate* app = nullptr;
    bool loaded = false;
    std::map<std::string, json::Value> reports;  // page reports by "kind"/request id
    double endReceived = 0;                      // the last "renderPDFEnd" seen by the shell
    double mainCpuAtEnd = 0;                     // the main thread's CPU milliseconds then
    double lastPost = 0;                         // the last canvasBridge message handled
    double postStart = 0;                        // its "t", when it has one (page clock)
    double bareSignal = 0, bareStart = 0;
    bool sink = false;
    bool loadOnly = false;
    bool uploadTest = true;
    std::map<std::string, int> actions;  // page messages by action, during the imports
    int frames = 0;                      // frames the window has drawn
};
Bench bench;

bool runUntil(const std::function<bool()>& done, double timeoutS) {
    auto end = Clock::now() + std::chrono::duration<double>(timeoutS);
    while (!done()) {
        if (Clock::now() > end) return false;
        g_main_context_iteration(nullptr, TRUE);
    }
    return true;
}

// Runs a script in the page and waits for it to finish (its value is not used).
void evaluate(const std::string& js) {
    bool busy = true;
    webkit_web_view_evaluate_javascript(
        bench.app->webView(), js.data(), static_cast<gssize>(js.size()), nullptr, nullptr, nullptr,
        [](GObject* view, GAsyncResult* res, gpointer f) noexcept {
            g_autoptr(GError) error = nullptr;
            if (JSCValue* v = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), res, &error))
                g_object_unref(v);
            if (error) std::fprintf(stderr, "page script failed: %s\n", error->message);
            *static_cast<bool*>(f) = false;
        },
        &busy);
    runUntil([&] { return !busy; }, 120);
}

// window.name = value, the value carried as an argument (not parsed as source).
void setPageString(const char* name, const std::string& value) {
    GVariantBuilder args;
    g_variant_builder_init(&args, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&args, "{sv}", "v", g_variant_new_string(value.c_str()));
    std::string body = std::string("window.") + name + " = v; return 1;";
    bool busy = true;
    webkit_web_view_call_async_javascript_function(
        bench.app->webView(), body.data(), static_cast<gssize>(body.size()), g_variant_builder_end(&args), nullptr,
        nullptr, nullptr,
        [](GObject* view, GAsyncResult* res, gpointer f) noexcept {
            g_autoptr(GError) error = nullptr;
            if (JSCValue* v = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), res, &error))
                g_object_unref(v);
            *static_cast<bool*>(f) = false;
        },
        &busy);
    runUntil([&] { return !busy; }, 120);
}

// Records, in the page, when each page call of a request arrives and when the board has shown them
// all; every other page function runs as it is. It wraps the page kit's functions, so it waits for
// the kit to take over from its early stand-ins (the load may be reported while the page's modules
// have yet to run): wrapped before, the kit's own functions would replace the wrappers.
constexpr const char* kRecorder = R"JS(
(function install() {
  if ('__bridgeEarly' in window) return setTimeout(install, 10);
  const now = () => performance.timeOrigin + performance.now();
  const report = (m) => window.webkit.messageHandlers.bench.postMessage(m);
  const pageU = window.__pdfPageU, rendered = window.__pdfRendered;
  const rec = window.__benchRec = {};
  const of = (id) => rec[id] || (rec[id] = { pages: 0, first: 0, last: 0, start: 0, posted: 0, bad: 0 });
  window.__pdfPageU = (reqId, index, total, dataUrl) => {
    const r = of(reqId), t = now();
    if (!r.pages) r.first = t;
    r.last = t;
    r.pages++;
    if (typeof dataUrl !== 'string' || !dataUrl.startsWith('data:image/jpeg;base64,')) r.bad++;
    if (window.__benchSink === 'load') loadImage(dataUrl);
    else if (!window.__benchSink) pageU(reqId, index, total, dataUrl);
  };
  window.__pdfRendered = (reqId, list) => {
    const t = now();
    rendered(reqId, list);
    const r = of(reqId), job = pdfJobs.get(reqId);
    (job ? job.chain : Promise.resolve()).then(() => report({ kind: reqId, start: r.start, posted: r.posted,
      first: r.first, last: r.last, rendered: t, shown: now(), pages: r.pages, bad: r.bad, stall: r.stopWatch ? r.stopWatch() : 0 }));
  };
  // Watches how long the page's main loop is held up at most, with a timer every 16 ms; the
  // function returned stops watching and gives the figure.
  const watchStalls = () => {
    let last = now(), worst = 0, on = true;
    const tick = () => {
      const n = now();
      worst = Math.max(worst, n - last - 16);
      last = n;
      if (on) setTimeout(tick, 16);
    };
    setTimeout(tick, 16);
    return () => { on = false; return worst; };
  };
  window.__benchImport = () => {
    boardView.clear();
    const t = now(), id = importPdf('bench.pdf', window.__benchPdf), r = of(id);
    r.start = t;
    r.posted = now();
    r.stopWatch = watchStalls();
    report({ kind: 'importing', id });
  };
  // Writes the pending recovery copy of the board now rather than a moment later; resolves with
  // how long it took and the longest the page's main loop was held up meanwhile.
  const timedFlush = () => {
    const t = now(), stopWatch = watchStalls();
    return recovery.flush().then(() => ({ ms: now() - t, gap: stopWatch() }));
  };
  window.__benchFlush = () => timedFlush().then((r) => report({ kind: 'flushed', ...r }));
  // Then a small change on that board, and its copy.
  window.__benchSmallChange = () => {
    addNote('a small change');
    // The note is laid out and painted first: that stall is not the copy's.
    setTimeout(() => timedFlush().then((r) =>
      // Each round's copy is written from scratch: the rounds import the same pages, which the copy
      // would otherwise find already stored. Cleared here, so that the next import does not wait for it.
      recovery.settled(Date.now(), true).then(() => report({ kind: 'flushedSmall', ...r }))), 250);
  };
  // The whole PDF in one message, as a page written against the one-message command sends it.
  window.__benchPostPdf = (reqId) => {
    const r = of(reqId), m = { action: 'renderPDF', name: 'big.pdf', reqId, dataUrl: window.__benchBigPdf };
    r.start = r.posted = now();
    window.webkit.messageHandlers.canvasBridge.postMessage(m);
  };
  window.__benchPost = (handler, reqId) => {
    const m = { action: 'renderPDF', name: 'big.bin', reqId, dataUrl: window.__benchBig };
    m.t = now();
    window.webkit.messageHandlers[handler].postMessage(m);
  };
  report({ kind: 'ready' });
})();
)JS";

// Resets the process's peak resident size, so that VmHWM shows the peak from here on.
bool resetPeak() {
    FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

double num(const json::Value& v, const char* key) {
    auto* f = v.find(key);
    return f && f->number() ? *f->number() : 0;
}

// The page's report for `kind`, once it has come.
json::Value awaitReport(const std::string& kind, double timeoutS) {
    runUntil([&] { return bench.reports.count(kind) > 0; }, timeoutS);
    auto it = bench.reports.find(kind);
    if (it == bench.reports.end()) return {};
    json::Value v = std::move(it->second);
    bench.reports.erase(it);
    return v;
}

Import importOnce() {
    Import r;
    resetPeak();
    Cpu before = Cpu::now();
    bench.endReceived = 0;
    int framesBefore = bench.frames;
    // How long the shell's main loop is held up at most, seen by a timer every 16 ms.
    struct Watch {
        gint64 last = g_get_monotonic_time();
        double stallMs = 0;
    } watch;
    guint watchSource = g_timeout_add(
        16,
        +[](gpointer p) noexcept -> gboolean {
            auto* w = static_cast<Watch*>(p);
            gint64 now = g_get_monotonic_time();
            w->stallMs = std::max(w->stallMs, (now - w->last) / 1000.0 - 16);
            w->last = now;
            return G_SOURCE_CONTINUE;
        },
        &watch);
    evaluate("window.__benchImport(); 1");
    json::Value started = awaitReport("importing", 60);
    const std::string* id = started.stringAt("id");
    if (!id) return r;
    std::string reqId = *id;
    json::Value done = awaitReport(reqId, 300);
    r.start = num(done, "start");
    r.posted = num(done, "posted");
    r.firstPage = num(done, "first");
    r.lastPage = num(done, "last");
    r.rendered = num(done, "rendered");
    r.shown = num(done, "shown");
    r.pageStallMs = num(done, "stall");
    g_source_remove(watchSource);
    r.uiStallMs = watch.stallMs;
    r.pages = static_cast<int>(num(done, "pages")) - static_cast<int>(num(done, "bad"));
    r.frames = bench.frames - framesBefore;
    r.lastChunkAt = bench.endReceived;
    r.uploadMainCpu = bench.mainCpuAtEnd - before.main;
    r.uiPeakMiB = rssMiB("VmHWM:");
    r.cpu = Cpu::now() - before;
    // Let the page calls' buffers go back before the resting figure is read.
    auto settle = Clock::now() + std::chrono::milliseconds(300);
    runUntil([&] { return Clock::now() > settle; }, 2);
    r.uiAfterMiB = rssMiB("VmRSS:");
    // The page writes its recovery copy of the board a moment after the last change; done here, so
    // that it does not slow the next round.
    evaluate("window.__benchFlush(); 1");
    json::Value flushed = awaitReport("flushed", 120);
    r.recoveryMs = num(flushed, "ms");
    r.recoveryStallMs = num(flushed, "gap");
    evaluate("window.__benchSmallChange(); 1");
    json::Value small = awaitReport("flushedSmall", 60);
    r.smallChangeMs = num(small, "ms");
    r.smallChangeStallMs = num(small, "gap");
    return r;
}

struct Alone {
    double total = 0, first = 0;
    int pages = 0;
    Cpu cpu;
};

Alone renderAlone(const common::Bytes& pdf) {
    files::RenderLimits limits;
    limits.helperPath = renderfixtures::helperPath();
    Alone a;
    Cpu before = Cpu::now();
    auto start = Clock::now();
    files::renderIsolated(pdf, limits, [&](int, int, common::Bytes) {
        if (a.pages++ == 0) a.first = seconds(Clock::now() - start);
    });
    a.total = seconds(Clock::now() - start);
    a.cpu = Cpu::now() - before;
    return a;
}

void runBench(int imports) {
    WebKitUserContentManager* ucm = webkit_web_view_get_user_content_manager(bench.app->webView());
    webkit_user_content_manager_register_script_message_handler(ucm, "bench", nullptr);
    webkit_user_content_manager_register_script_message_handler(ucm, "bare", nullptr);
    g_signal_connect(ucm, "script-message-received::bench",
                     G_CALLBACK(+[](WebKitUserContentManager*, JSCValue* value, gpointer) noexcept {
                         json::Value v = bridge::fromJsc(value);
                         if (auto* kind = v.stringAt("kind")) bench.reports[*kind] = std::move(v);
                     }),
                     nullptr);
    // Connected after the shell's own handler: runs once the shell has handled the message.
    g_signal_connect(ucm, "script-message-received::canvasBridge",
                     G_CALLBACK(+[](WebKitUserContentManager*, JSCValue* value, gpointer) noexcept {
                         bench.lastPost = epochMs();
                         g_autoptr(JSCValue) action = jsc_value_object_get_property(value, "action");
                         g_autofree char* name = jsc_value_is_string(action) ? jsc_value_to_string(action) : nullptr;
                         bench.actions[name ? name : "?"]++;
                         if (name && std::string(name) == "renderPDFEnd") {
                             bench.endReceived = bench.lastPost;
                             bench.mainCpuAtEnd = cpuMs(RUSAGE_THREAD);
                         }
                         g_autoptr(JSCValue) t = jsc_value_object_get_property(value, "t");
                         if (jsc_value_is_number(t)) bench.postStart = jsc_value_to_double(t);
                     }),
                     nullptr);
    g_signal_connect(ucm, "script-message-received::bare",
                     G_CALLBACK(+[](WebKitUserContentManager*, JSCValue* value, gpointer) noexcept {
                         bench.bareSignal = epochMs();
                         g_autoptr(JSCValue) t = jsc_value_object_get_property(value, "t");
                         bench.bareStart = jsc_value_to_double(t);
                     }),
                     nullptr);
    g_signal_connect(bench.app->webView(), "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent e, gpointer) noexcept {
                         if (e == WEBKIT_LOAD_FINISHED) bench.loaded = true;
                     }),
                     nullptr);
    if (!runUntil([] { return bench.loaded; }, 60)) {
        std::printf("the page did not load\n");
        return;
    }
    // Every frame the page makes costs the web process and the shell a composite of the window.
    GdkFrameClock* clock = gtk_widget_get_frame_clock(GTK_WIDGET(bench.app->webView()));
    if (clock)
        g_signal_connect(clock, "after-paint", G_CALLBACK(+[](GdkFrameClock*, gpointer) noexcept { ++bench.frames; }),
                         nullptr);
    evaluate(kRecorder);
    if (bench.sink) evaluate("window.__benchSink = true; 1");
    if (bench.loadOnly) evaluate("window.__benchSink = 'load'; 1");
    awaitReport("ready", 30);
    auto settle = Clock::now() + std::chrono::seconds(1);
    runUntil([&] { return Clock::now() > settle; }, 5);
    double startupMiB = rssMiB("VmRSS:");

    std::size_t pdfSize = 0;
    {
        common::Bytes pdf = mixedDocument();
        pdfSize = pdf.size();
        setPageString("__benchPdf", "data:application/pdf;base64," + common::base64::encode(pdf.data(), pdf.size()));
    }
    // The renderer-alone rounds read the document from its file each time and let it go again, so
    // that this program holds none of it while the application imports.
    auto renderFile = [] { return renderAlone(mixedDocument()); };

    // Rounds alternate between the renderer alone and the import, so that a busy machine slows both.
    std::vector<Alone> alone;
    std::vector<Import> runs;
    renderFile();  // warms the file cache and poppler's fonts for both sides
    common::Bytes blank = renderfixtures::makePdf({{612, 792}}, [](cairo_t*, int, double, double) {});
    std::vector<double> startup;
    for (int i = 0; i < imports; ++i) {
        startup.push_back(renderAlone(blank).first * 1000);
        alone.push_back(renderFile());
        runs.push_back(importOnce());
    }

    std::vector<double> full, bare, wholeFirst, wholeBare;
    if (bench.uploadTest) {
        // A 25 MiB PDF in one renderPDF message: its first page in the page, after the post, against
        // a bare post of the same string. Two pages to draw, and a stream no page uses for the bulk.
        {
            common::Bytes pdf = bigPdf(25 << 20);
            setPageString("__benchBigPdf",
                          "data:application/pdf;base64," + common::base64::encode(pdf.data(), pdf.size()));
        }
        for (int i = 0; i < 7; ++i) {
            std::string reqId = "whole-" + std::to_string(i);
            evaluate("window.__benchPostPdf('" + reqId + "'); 1");
            json::Value done = awaitReport(reqId, 60);
            bench.bareSignal = 0;
            evaluate(
                "(() => { const m = { action: 'renderPDF', name: 'big.pdf', reqId: 'bare', dataUrl: "
                "window.__benchBigPdf }; m.t = performance.timeOrigin + performance.now(); "
                "window.webkit.messageHandlers.bare.postMessage(m); })(); 1");
            runUntil([] { return bench.bareSignal > 0; }, 60);
            if (i < 1) continue;  // warm-up: the first request starts its helpers
            wholeFirst.push_back(num(done, "first") - num(done, "start"));
            wholeBare.push_back(bench.bareSignal - bench.bareStart);
        }
        evaluate("window.__benchBigPdf = null; 1");
        // The 25 MiB upload: random bytes as a data URL built in the page, posted as "renderPDF" (the
        // shell reads the message whole and decodes it) or to a handler that reads only the time stamp.
        evaluate(
            "(() => { const n = 25 * 1024 * 1024, b = new Uint8Array(n);"
            "for (let i = 0; i < n; i += 65536) crypto.getRandomValues(b.subarray(i, i + 65536));"
            "let s = ''; for (let i = 0; i < n; i += 0x8000) s += String.fromCharCode(...b.subarray(i, i + 0x8000));"
            "window.__benchBig = 'data:application/octet-stream;base64,' + btoa(s); })(); 1");
        // Twelve measured rounds: a garbage collection of the large strings now and then makes single
        // rounds of either kind vary by a factor of two.
        for (int i = 0; i < 14; ++i) {
            std::string reqId = "big-" + std::to_string(i);
            bench.lastPost = 0;
            bench.reports.erase(reqId);
            evaluate("window.__benchPost('canvasBridge', '" + reqId + "'); 1");
            runUntil([] { return bench.lastPost > 0; }, 60);
            double handled = bench.lastPost;
            // The bytes are no PDF: the request ends at once; wait for it so the next round is quiet.
            awaitReport(reqId, 60);
            bench.bareSignal = 0;
            evaluate("window.__benchPost('bare', 'bare'); 1");
            runUntil([] { return bench.bareSignal > 0; }, 60);
            if (i < 2) continue;  // warm-up
            full.push_back(handled - bench.postStart);
            bare.push_back(bench.bareSignal - bench.bareStart);
        }
    }

    // ---- the table ----
    std::vector<double> alonePps, aloneFirst, e2ePps, e2eWholePps, ratio, firstAfterEnd, firstAfterStart, firstExtra,
        uploadMs, shownPps, peakRatio, after, frames, recoveryMs, recoveryStall, pageStall, uiStall, smallMs,
        smallStall;
    int pagesOk = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const Import& r = runs[i];
        const Alone& a = alone[i];
        if (r.pages != 120 || r.lastChunkAt <= 0) continue;
        ++pagesOk;
        double renderS = (r.rendered - r.lastChunkAt) / 1000;
        alonePps.push_back(a.pages / a.total);
        aloneFirst.push_back(a.first * 1000);
        e2ePps.push_back(r.pages / renderS);
        e2eWholePps.push_back(r.pages / ((r.rendered - r.start) / 1000));
        shownPps.push_back(r.pages / ((r.shown - r.lastChunkAt) / 1000));
        ratio.push_back((r.pages / renderS) / (a.pages / a.total));
        firstAfterEnd.push_back(r.firstPage - r.lastChunkAt);
        firstExtra.push_back(r.firstPage - r.lastChunkAt - a.first * 1000);
        firstAfterStart.push_back(r.firstPage - r.start);
        uploadMs.push_back(r.lastChunkAt - r.start);
        peakRatio.push_back(r.uiPeakMiB / startupMiB);
        after.push_back(r.uiAfterMiB);
        frames.push_back(r.frames);
        recoveryMs.push_back(r.recoveryMs);
        pageStall.push_back(r.pageStallMs);
        uiStall.push_back(r.uiStallMs);
        recoveryStall.push_back(r.recoveryStallMs);
        smallMs.push_back(r.smallChangeMs);
        smallStall.push_back(r.smallChangeStallMs);
    }
    std::printf("PDF import end to end: %zu-byte (%.1f MB) 120-page mixed PDF, %d imports in a row (%d complete),\n",
                pdfSize, static_cast<double>(pdfSize) / 1e6, imports, pagesOk);
    std::printf("each after a renderer-alone run on the same bytes; medians, [min-max] over the imports\n\n");
    std::printf("| %-52s | %15s | %-17s | %-22s |\n", "measure", "median", "spread", "goal");
    std::printf("|%s|%s|%s|%s|\n", std::string(54, '-').c_str(), std::string(17, '-').c_str(),
                std::string(19, '-').c_str(), std::string(24, '-').c_str());
    row("renderer alone (2 helpers): pages/s", median(alonePps), "p/s", spread(alonePps, "%.1f-%.1f"), "");
    row("renderer alone: first page", median(aloneFirst), "ms", spread(aloneFirst, "%.0f-%.0f"), "");
    row("renderer alone, blank 1-page PDF: its page (start-up)", median(startup), "ms", spread(startup, "%.0f-%.0f"),
        "");
    row("end to end, last byte -> __pdfRendered: pages/s", median(e2ePps), "p/s", spread(e2ePps, "%.1f-%.1f"), "");
    row("  ratio to the renderer alone (same round)", median(ratio), "x", spread(ratio, "%.2f-%.2f"), ">= 0.90");
    row("end to end incl. upload, importPdf -> __pdfRendered", median(e2eWholePps), "p/s",
        spread(e2eWholePps, "%.1f-%.1f"), "");
    row("last byte -> all pages shown on the board: pages/s", median(shownPps), "p/s", spread(shownPps, "%.1f-%.1f"),
        "");
    row("upload: importPdf -> shell has the last chunk", median(uploadMs), "ms", spread(uploadMs, "%.0f-%.0f"), "");
    row("first page, after the upload's last byte", median(firstAfterEnd), "ms", spread(firstAfterEnd, "%.0f-%.0f"),
        "<= 120 ms");
    row("  beyond the renderer alone's first page (same round)", median(firstExtra), "ms",
        spread(firstExtra, "%.0f-%.0f"), "");
    row("window frames drawn during an import", median(frames), "", spread(frames, "%.0f-%.0f"), "");
    row("longest hold-up of the page's main loop in an import", median(pageStall), "ms", spread(pageStall, "%.0f-%.0f"),
        "");
    row("longest hold-up of the shell's main loop in an import", median(uiStall), "ms", spread(uiStall, "%.0f-%.0f"),
        "");
    row("then the recovery copy of the board (IndexedDB write)", median(recoveryMs), "ms",
        spread(recoveryMs, "%.0f-%.0f"), "");
    row("  the page's longest stall during that write", median(recoveryStall), "ms", spread(recoveryStall, "%.0f-%.0f"),
        "");
    row("then a note added: its recovery copy", median(smallMs), "ms", spread(smallMs, "%.0f-%.0f"), "");
    row("  the page's longest stall during that write", median(smallStall), "ms", spread(smallStall, "%.0f-%.0f"), "");
    row("first page, after importPdf", median(firstAfterStart), "ms", spread(firstAfterStart, "%.0f-%.0f"), "");
    row("UI process at start-up (page loaded)", startupMiB, "MiB", "", "");
    row("UI process peak during an import / start-up", median(peakRatio), "x", spread(peakRatio, "%.2f-%.2f"),
        "<= 1.50");
    for (std::size_t i = 0; i < runs.size(); ++i) {
        char what[64];
        std::snprintf(what, sizeof what, "UI process after import %zu (peak %.0f MiB)", i + 1, runs[i].uiPeakMiB);
        row(what, runs[i].uiAfterMiB, "MiB", "", i == 0 ? "flat" : "");
    }
    // Where the CPU goes, per page: what the delivery and the page cost beside the rendering.
    auto cpuRow = [&](const char* what, double Cpu::*field, bool imported) {
        std::vector<double> v;
        for (std::size_t i = 0; i < runs.size(); ++i)
            v.push_back(imported ? runs[i].cpu.*field / std::max(1, runs[i].pages)
                                 : alone[i].cpu.*field / std::max(1, alone[i].pages));
        row(what, median(v), "ms", spread(v, "%.1f-%.1f"), "");
    };
    cpuRow("CPU/page, renderer alone: helpers", &Cpu::helpers, false);
    cpuRow("CPU/page, renderer alone: UI process", &Cpu::ui, false);
    cpuRow("CPU/page, import: helpers", &Cpu::helpers, true);
    cpuRow("CPU/page, import: UI process (all threads)", &Cpu::ui, true);
    cpuRow("CPU/page, import: UI main thread", &Cpu::main, true);
    cpuRow("CPU/page, import: web process", &Cpu::web, true);
    std::vector<double> uploadMain;
    for (auto& r : runs) uploadMain.push_back(r.uploadMainCpu);
    row("UI main thread CPU in the upload (all chunks)", median(uploadMain), "ms", spread(uploadMain, "%.0f-%.0f"), "");
    if (bench.uploadTest) {
        std::vector<double> uploadRatio;
        for (std::size_t i = 0; i < full.size() && i < bare.size(); ++i) uploadRatio.push_back(full[i] / bare[i]);
        row("25 MiB data URL: postMessage -> decoded bytes", median(full), "ms", spread(full, "%.0f-%.0f"), "");
        row("25 MiB bare postMessage -> native signal", median(bare), "ms", spread(bare, "%.0f-%.0f"), "");
        row("  ratio", median(uploadRatio), "x", spread(uploadRatio, "%.2f-%.2f"), "<= 2.00");
        std::vector<double> beyond;
        for (std::size_t i = 0; i < wholeFirst.size(); ++i) beyond.push_back(wholeFirst[i] - wholeBare[i]);
        row("25 MiB PDF in one renderPDF: post -> first page", median(wholeFirst), "ms",
            spread(wholeFirst, "%.0f-%.0f"), "");
        row("  the same message, bare post -> native signal", median(wholeBare), "ms", spread(wholeBare, "%.0f-%.0f"),
            "");
        row("  first page beyond the bare post (same round)", median(beyond), "ms", spread(beyond, "%.0f-%.0f"),
            "<= 200 ms");
    }
    std::printf("\nPage messages during the run:");
    for (auto& [action, n] : bench.actions) std::printf(" %s %d", action.c_str(), n);
    double load[1] = {0};
    getloadavg(load, 1);
    std::printf("\nLoad average during the run: %.1f (%ld cores).\n", load[0], sysconf(_SC_NPROCESSORS_ONLN));
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::printf("needs a display: run under xvfb-run\n");
        return 1;
    }
    static int imports = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    // "text" sends every page call as script text, to compare with values carried as arguments.
    // "sink" keeps the pages from the board, to tell the delivery's cost from the page's own.
    // "page=DIR" serves the page from DIR/html instead of this tree, to compare two versions of it.
    static bool textCalls = false, sink = false, uploadTest = true, loadOnly = false;
    std::string pageDir = TAVRIK_SOURCE_DIR;
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]).starts_with("page=")) pageDir = std::string(argv[i]).substr(5);
        textCalls = textCalls || std::string(argv[i]) == "text";
        sink = sink || std::string(argv[i]) == "sink";
        loadOnly = loadOnly || std::string(argv[i]) == "load";
        uploadTest = uploadTest && std::string(argv[i]) != "no-upload";
    }
    // The shell finds its render helper beside itself; this program lives elsewhere.
    g_setenv("TAVRIK_RENDER_HELPER", renderfixtures::helperPath().c_str(), TRUE);
    g_set_prgname("tavrik");
    GtkApplication* gtkApp = gtk_application_new("org.tavrik.TavrikPdfBench", G_APPLICATION_NON_UNIQUE);
    app::LaunchOptions launch;
    launch.resourcesDir = pageDir;
    auto delegate = std::make_unique<app::AppDelegate>(gtkApp, launch);
    g_signal_connect(gtkApp, "activate", G_CALLBACK(+[](GApplication* a, gpointer d) noexcept {
                         auto* app = static_cast<app::AppDelegate*>(d);
                         app->applicationDidFinishLaunching();
                         bench.app = app;
                         if (textCalls) app->bridge()->setLiftBytes(SIZE_MAX);
                         bench.sink = sink;
                         bench.loadOnly = loadOnly;
                         bench.uploadTest = uploadTest;
                         runBench(imports);
                         app->shutdown();
                         g_application_quit(a);
                     }),
                     delegate.get());
    char* appArgv[] = {argv[0], nullptr};
    int rc = g_application_run(G_APPLICATION(gtkApp), 1, appArgv);
    delegate.reset();
    g_object_unref(gtkApp);
    return rc;
}
