// SPDX-License-Identifier: GPL-3.0-or-later
// Real drags under Xvfb: a drag source in a second window of this process, the pointer driven by
// xdotool through XTest, and the shell's window taking (or leaving) the drop.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <vector>

#include "drop/gtk_pasteboard.h"
#include "support/gtk_support.h"
#include "support/real_page.h"

using namespace std::chrono_literals;

namespace {

const char* kPage = R"(<!doctype html><meta charset="utf-8">
<style>html, body { margin: 0; width: 100%; height: 100%; }</style>
<body><script>
window.floatDrops = [];
window.fileDrops = [];
window.pageDrops = [];
window.__floatDrop = (items) => floatDrops.push(items);
// The page's own drag-and-drop: what the shell leaves to the web view ends up here.
window.dragovers = 0;
document.addEventListener('dragover', e => { e.preventDefault(); dragovers++; });
document.addEventListener('drop', e => { e.preventDefault(); pageDrops.push(Array.from(e.dataTransfer.types)); });
</script></body>)";

GBytes* pngBytes() {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 4, 4);
    gdk_pixbuf_fill(pixbuf, 0xff0000ff);
    gchar* buf = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(pixbuf, &buf, &size, "png", nullptr, nullptr);
    g_object_unref(pixbuf);
    return g_bytes_new_take(buf, size);
}

// A 16-bit-per-sample RGBA TIFF, as image tools write by default.
std::string tiff16Bytes() {
    std::vector<guint16> pixels(4 * 4 * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = i % 4 == 1 ? 0x1234 : 0xffff;
    g_autoptr(GBytes) data = g_bytes_new(pixels.data(), pixels.size() * sizeof(guint16));
    g_autoptr(GdkTexture) texture = gdk_memory_texture_new(4, 4, GDK_MEMORY_R16G16B16A16, data, 4 * 8);
    g_autoptr(GBytes) tiff = gdk_texture_save_to_tiff_bytes(texture);
    return std::string(static_cast<const char*>(g_bytes_get_data(tiff, nullptr)), g_bytes_get_size(tiff));
}

GdkContentProvider* offer(const char* mime, const std::string& data) {
    g_autoptr(GBytes) bytes = g_bytes_new(data.data(), data.size());
    return gdk_content_provider_new_for_bytes(mime, bytes);
}

// A small window beside the shell's, whose whole area starts a drag of the given content.
class DragSource {
public:
    explicit DragSource(GdkContentProvider* content) {
        window_ = GTK_WINDOW(gtk_window_new());
        gtk_window_set_title(window_, "drag source");
        gtk_window_set_default_size(window_, 200, 200);
        GtkWidget* area = gtk_label_new("drag me");
        GtkDragSource* source = gtk_drag_source_new();
        gtk_drag_source_set_content(source, content);
        g_object_unref(content);
        gtk_drag_source_set_actions(source, GDK_ACTION_COPY);
        g_signal_connect(source, "drag-end",
                         G_CALLBACK(+[](GtkDragSource*, GdkDrag*, gboolean, gpointer ended) noexcept {
                             *static_cast<bool*>(ended) = true;
                         }),
                         &ended_);
        gtk_widget_add_controller(area, GTK_EVENT_CONTROLLER(source));
        gtk_window_set_child(window_, area);
        gtk_window_present(window_);
    }
    ~DragSource() { gtk_window_destroy(window_); }

    // `releaseWhen`: see dragFromSourceWindow.
    bool dragOntoShell(const std::function<bool()>& releaseWhen = {});

private:
    GtkWindow* window_;
    bool ended_ = false;
};

// Starts a program; `exited` turns true once it has ended, and `status` then holds its exit status.
struct Exit {
    bool* exited;
    int* status;
};
bool spawn(const std::vector<std::string>& args, bool& exited, int* status = nullptr) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    GPid pid = 0;
    if (!g_spawn_async(nullptr, argv.data(), nullptr, GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                       nullptr, nullptr, &pid, nullptr))
        return false;
    g_child_watch_add_full(
        G_PRIORITY_DEFAULT, pid,
        +[](GPid p, gint waitStatus, gpointer data) noexcept {
            g_spawn_close_pid(p);
            auto* exit = static_cast<Exit*>(data);
            if (exit->status) *exit->status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
            *exit->exited = true;
        },
        new Exit{&exited, status}, +[](gpointer data) noexcept { delete static_cast<Exit*>(data); });
    return true;
}

// Waits for the window titled "drag source", moves it off the shell's window, presses in it,
// drags onto the shell's window at (640, 400) and releases, all through XTest. Returns once
// xdotool has finished and `ended()` holds.
//
// A drag source over X11 drops only when the last status the target sent accepted the drag;
// otherwise the release cancels it. The shell's own target answers at once, but the web view
// answers a drag it handles only after it has read the offer from the source and asked the page,
// which on a loaded machine can take longer than any fixed pause. For such drags `releaseWhen`
// says when the page has answered; the pointer is then nudged, so that the web view sends its
// answer as a status, and released.
bool dragFromSourceWindow(const std::function<bool()>& ended, const std::function<bool()>& releaseWhen = {}) {
    std::vector<std::string> press{
        "xdotool",   "search", "--sync", "--name", "^drag source$", "windowmove", "1400", "100",   "sleep", "0.3",
        "mousemove", "1500",   "200",    "sleep",  "0.2",           "mousedown",  "1",    "sleep", "0.1",   "mousemove",
        "1480",      "220",    "sleep",  "0.1",    "mousemove",     "1200",       "300",  "sleep", "0.1",   "mousemove",
        "700",       "400",    "sleep",  "0.3",    "mousemove",     "640",        "400",  "sleep", "0.5"};
    const std::vector<std::string> nudge{"mousemove", "645", "405", "sleep", "0.2",
                                         "mousemove", "640", "400", "sleep", "0.2"};
    if (!releaseWhen) {
        press.insert(press.end(), {"mouseup", "1"});
        bool exited = false;
        return spawn(press, exited) && testsupport::runUntil([&] { return exited && ended(); }, 20s);
    }
    bool pressed = false;
    if (!spawn(press, pressed) || !testsupport::runUntil([&] { return pressed; }, 20s)) return false;
    const bool answered = testsupport::runUntil(releaseWhen, 20s);
    std::vector<std::string> release{"xdotool"};
    release.insert(release.end(), nudge.begin(), nudge.end());
    release.insert(release.end(), {"mouseup", "1"});
    bool exited = false;
    return spawn(release, exited) && testsupport::runUntil([&] { return exited && ended(); }, 20s) && answered;
}

bool DragSource::dragOntoShell(const std::function<bool()>& releaseWhen) {
    return testsupport::runUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window_)); }) &&
           dragFromSourceWindow([&] { return ended_; }, releaseWhen);
}

class DropTarget : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        shell_ = new testsupport::Shell(kPage);
        ASSERT_TRUE(shell_->waitLoaded());
        drop::dragCatchViewSetBeep(shell_->app().dragCatchView(), [] { ++beeps_; });
    }
    static void TearDownTestSuite() { delete shell_; }
    void SetUp() override {
        ASSERT_TRUE(shell_->eval("floatDrops = []; fileDrops = []; pageDrops = []; dragovers = 0; true"));
        beeps_ = 0;
    }

    // For drags the web view handles: the page has seen one.
    static bool pageAnswered() { return shell_->eval("dragovers > 0") == "true"; }

    static testsupport::Shell* shell_;
    static int beeps_;
};
testsupport::Shell* DropTarget::shell_ = nullptr;
int DropTarget::beeps_ = 0;

}  // namespace

TEST_F(DropTarget, PngDragIsDeliveredToThePageAsOneImageRecord) {
    g_autoptr(GBytes) png = pngBytes();
    DragSource source(gdk_content_provider_new_for_bytes("image/png", png));
    ASSERT_TRUE(source.dragOntoShell());
    ASSERT_TRUE(shell_->waitFor("floatDrops.length === 1", 10s));
    auto record = shell_->eval(
        "const r = floatDrops[0]; Array.isArray(r) && r.length === 1 ? "
        "[r[0].kind, r[0].mime, r[0].name, r[0].dataUrl.slice(0, 22)].join('|') : 'not one record'");
    ASSERT_TRUE(record);
    EXPECT_TRUE(
        std::regex_match(*record, std::regex("file\\|image/png\\|拖入图片-[0-9]{6}\\.png\\|data:image/png;base64,")))
        << *record;
    EXPECT_EQ(shell_->eval("pageDrops.length"), "0");
    EXPECT_EQ(beeps_, 0);
}

// A picture file from the file manager: its file list and its picture.
GdkContentProvider* imageFileOffer(const testsupport::TempDir& dir) {
    dir.write("picture.png", "png bytes");
    g_autofree char* uri = g_filename_to_uri(dir.file("picture.png").c_str(), nullptr, nullptr);
    g_autoptr(GBytes) png = pngBytes();
    GdkContentProvider* both[] = {offer("text/uri-list", std::string(uri) + "\r\n"),
                                  gdk_content_provider_new_for_bytes("image/png", png)};
    return gdk_content_provider_new_union(both, 2);
}

// A page written for image-only drops never sees the window take a file list: the web view gets it.
TEST_F(DropTarget, FileDragsOnAPageThatDidNotAskAreLeftToTheWebView) {
    testsupport::TempDir dir;
    DragSource source(imageFileOffer(dir));
    ASSERT_TRUE(source.dragOntoShell(pageAnswered));
    ASSERT_TRUE(shell_->waitFor("pageDrops.length === 1", 10s));
    EXPECT_EQ(shell_->eval("floatDrops.length + fileDrops.length"), "0");
    EXPECT_EQ(beeps_, 0);
}

// The web view hands the page no contents of dropped files, so for a page that asks the window
// reads them itself, until the page is loaded again.
TEST_F(DropTarget, FileDragsAreReadByTheWindowForAPageThatAsked) {
    ASSERT_TRUE(
        shell_->eval("window.__fileDrop = (d) => fileDrops.push(d);"
                     "webkit.messageHandlers.canvasBridge.postMessage({action: 'acceptFileDrops'}); true"));
    testsupport::TempDir dir;
    {
        DragSource source(imageFileOffer(dir));
        ASSERT_TRUE(source.dragOntoShell());
        ASSERT_TRUE(shell_->waitFor("fileDrops.length === 1", 10s));
    }
    EXPECT_EQ(shell_->eval("fileDrops[0].items.map((r) => [r.kind, r.name, r.dataUrl].join('|')).join()"),
              "file|picture.png|data:image/png;base64,cG5nIGJ5dGVz");
    // The drop point, in the page's coordinates: inside the window.
    EXPECT_EQ(
        shell_->eval("const d = fileDrops[0]; String(d.x > 0 && d.x < innerWidth && d.y > 0 && d.y < innerHeight)"),
        "true");
    EXPECT_EQ(shell_->eval("floatDrops.length + pageDrops.length"), "0");
    EXPECT_EQ(beeps_, 0);

    // A new document has not asked.
    webkit_web_view_reload(shell_->webView());
    ASSERT_TRUE(shell_->waitLoaded());
    ASSERT_TRUE(shell_->waitFor("typeof window.__fileDrop === 'undefined'"));
    DragSource again(imageFileOffer(dir));
    ASSERT_TRUE(again.dragOntoShell(pageAnswered));
    ASSERT_TRUE(shell_->waitFor("pageDrops.length === 1", 10s));
    EXPECT_EQ(shell_->eval("floatDrops.length + fileDrops.length"), "0");
}

TEST_F(DropTarget, TextDragsAreLeftToThePage) {
    DragSource source(offer("text/html", "<p>some <b>text</b></p>"));
    ASSERT_TRUE(source.dragOntoShell(pageAnswered));
    ASSERT_TRUE(shell_->waitFor("pageDrops.length === 1", 10s));
    EXPECT_EQ(shell_->eval("floatDrops.length"), "0");
}

TEST_F(DropTarget, UndecodableImageBeepsAndDeliversNothing) {
    DragSource source(offer("image/png", "\x89PNG\r\n\x1a\n but then garbage"));
    ASSERT_TRUE(source.dragOntoShell());
    ASSERT_TRUE(testsupport::runUntil([] { return beeps_ == 1; }, 10s));
    EXPECT_EQ(shell_->eval("floatDrops.length + pageDrops.length"), "0");
}

TEST_F(DropTarget, ImageDraggedOutOfAnotherApplicationReachesThePage) {
    // An image viewer offers its picture as a texture: over X11 that is PNG, TIFF, JPEG and more.
    testsupport::TempDir dir;
    g_autoptr(GBytes) png = pngBytes();
    dir.write("picture.png",
              std::string(static_cast<const char*>(g_bytes_get_data(png, nullptr)), g_bytes_get_size(png)));
    bool sourceExited = false;
    ASSERT_TRUE(spawn({std::string(TAVRIK_TEST_TOOLS) + "/drag_source", dir.file("picture.png")}, sourceExited));
    ASSERT_TRUE(dragFromSourceWindow([&] { return sourceExited; }));
    ASSERT_TRUE(shell_->waitFor("floatDrops.length === 1", 10s));
    EXPECT_EQ(shell_->eval(
                  "floatDrops[0].length + '|' + floatDrops[0][0].mime + '|' + floatDrops[0][0].dataUrl.slice(0, 22)"),
              "1|image/png|data:image/png;base64,");
    EXPECT_EQ(shell_->eval("pageDrops.length"), "0");
}

TEST_F(DropTarget, TiffOnlyDragFromAnotherApplicationArrivesAsPng) {
    // Nothing but image/tiff on offer, 16 bits per sample: taken like a PNG-only drag, re-encoded.
    testsupport::TempDir dir;
    dir.write("picture.tiff", tiff16Bytes());
    bool sourceExited = false;
    ASSERT_TRUE(
        spawn({std::string(TAVRIK_TEST_TOOLS) + "/drag_source", dir.file("picture.tiff"), "image/tiff"}, sourceExited));
    ASSERT_TRUE(dragFromSourceWindow([&] { return sourceExited; }));
    ASSERT_TRUE(shell_->waitFor("floatDrops.length === 1", 10s));
    auto record = shell_->eval(
        "(r => [r.length, r[0].kind, r[0].mime, r[0].name, r[0].dataUrl.slice(0, 22)].join('|'))(floatDrops[0])");
    ASSERT_TRUE(record);
    EXPECT_TRUE(std::regex_match(*record,
                                 std::regex("1\\|file\\|image/png\\|拖入图片-[0-9]{6}\\.png\\|data:image/png;base64,")))
        << *record;
    // The PNG holds the picture: 4 × 4, the pixel colour kept at 8 bits.
    ASSERT_TRUE(shell_->eval(
        "window.decoded = null; { const img = new Image();"
        "img.onload = () => { const c = document.createElement('canvas'); c.width = img.width; c.height = img.height;"
        "  const g = c.getContext('2d'); g.drawImage(img, 0, 0);"
        "  decoded = [img.width, img.height, ...g.getImageData(0, 0, 1, 1).data].join(','); };"
        "img.src = floatDrops[0][0].dataUrl; } true"));
    ASSERT_TRUE(shell_->waitFor("decoded !== null", 10s));
    EXPECT_EQ(shell_->eval("decoded"), "4,4,255,18,255,255");
    EXPECT_EQ(shell_->eval("pageDrops.length"), "0");
    EXPECT_EQ(beeps_, 0);
}

TEST(GtkPasteboard, ReadsEveryKindADropOffers) {
    gtk_init();
    // A plain window of our own that reads whatever is dropped on it, laid over the shell's.
    GtkWindow* window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_default_size(window, 900, 700);
    GtkWidget* area = gtk_label_new("drop here");
    GtkDropTargetAsync* target = gtk_drop_target_async_new(nullptr, GDK_ACTION_COPY);
    auto copy = +[](GtkDropTargetAsync*, GdkDrop*, double, double, gpointer) noexcept { return GDK_ACTION_COPY; };
    g_signal_connect(target, "drag-enter", G_CALLBACK(copy), nullptr);
    g_signal_connect(target, "drag-motion", G_CALLBACK(copy), nullptr);
    std::optional<drop::MemoryPasteboard> read;
    g_signal_connect(target, "drop",
                     G_CALLBACK(+[](GtkDropTargetAsync*, GdkDrop* d, double, double, gpointer out) noexcept {
                         drop::readDrop(d, [out](GdkDrop* d, drop::MemoryPasteboard contents) {
                             gdk_drop_finish(d, GDK_ACTION_COPY);
                             *static_cast<std::optional<drop::MemoryPasteboard>*>(out) = std::move(contents);
                         });
                         return TRUE;
                     }),
                     &read);
    gtk_widget_add_controller(area, GTK_EVENT_CONTROLLER(target));
    gtk_window_set_child(window, area);
    gtk_window_present(window);
    ASSERT_TRUE(testsupport::runUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window)); }));

    testsupport::TempDir dir;
    dir.write("a b.txt", "x");
    g_autofree char* uri = g_filename_to_uri(dir.file("a b.txt").c_str(), nullptr, nullptr);
    g_autoptr(GBytes) png = pngBytes();
    GdkContentProvider* all[] = {
        offer("text/uri-list", std::string(uri) + "\r\nhttps://example.invalid/page\r\n"),
        offer("image/tiff", "tiff bytes"),
        gdk_content_provider_new_for_bytes("image/png", png),
        offer("text/plain;charset=iso-8859-1", "caf\xe9"),
        offer("text/html", "<p>html</p>"),
        offer("application/rtf", "{\\rtf1 rtf}"),
    };
    {
        DragSource source(gdk_content_provider_new_union(all, G_N_ELEMENTS(all)));
        ASSERT_TRUE(source.dragOntoShell());
        ASSERT_TRUE(testsupport::runUntil([&] { return read.has_value(); }, 10s));
    }
    gtk_window_destroy(window);

    EXPECT_EQ(read->files, std::vector<std::string>{dir.file("a b.txt")});  // file URLs only
    ASSERT_TRUE(read->image);
    EXPECT_EQ(read->image->size(), g_bytes_get_size(png));  // PNG preferred over TIFF
    EXPECT_EQ(read->plain, "caf\u00e9");
    EXPECT_EQ(read->html, common::toBytes("<p>html</p>"));
    EXPECT_EQ(read->rtf, common::toBytes("{\\rtf1 rtf}"));
    for (const char* format : {"text/uri-list", "image/png", "image/tiff", "text/html", "application/rtf"})
        EXPECT_NE(std::find(read->offered.begin(), read->offered.end(), format), read->offered.end()) << format;
}

TEST(GtkPasteboard, TypesStandInOnlyForKindsTheSourceDoesNotOffer) {
    // What a drop from another application lists for a TIFF offer: the MIME type and the texture
    // GTK could make of it. Reading PNG from that source would get nothing.
    const char* tiff[] = {"image/tiff"};
    GdkContentFormats* remote =
        gdk_content_formats_union_deserialize_gtypes(gdk_content_formats_new(tiff, G_N_ELEMENTS(tiff)));
    EXPECT_EQ(drop::dropFormats(remote), std::vector<std::string>{"image/tiff"});
    gdk_content_formats_unref(remote);
    // A texture dragged inside the process has no MIME type of its own: GTK serialises it as PNG.
    GdkContentFormats* local = gdk_content_formats_new_for_gtype(GDK_TYPE_TEXTURE);
    EXPECT_EQ(drop::dropFormats(local), std::vector<std::string>{"image/png"});
    gdk_content_formats_unref(local);
}

// The application's own page under the same real drags: what the shell leaves to the web view
// ends as board items, and the page stays where it is.
class PageDrop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        shell_ = new testsupport::Shell("");
        ASSERT_TRUE(testsupport::loadRealPage(*shell_));
    }
    static void TearDownTestSuite() { delete shell_; }
    void SetUp() override { ASSERT_TRUE(shell_->eval("board.load({items: []}); __setLang('en'); true")); }

    // Drags "MIME TEXT" offers out of another process onto the page. A drag the shell leaves to the
    // web view is released once the page has handled a dragover of it.
    static void dragFromAnotherProcess(const std::vector<std::string>& offers, bool leftToWebView = false) {
        std::vector<std::string> args{std::string(TAVRIK_TEST_TOOLS) + "/offer_source"};
        args.insert(args.end(), offers.begin(), offers.end());
        std::function<bool()> answered;
        if (leftToWebView) {
            ASSERT_TRUE(
                shell_->eval("window.dragovers = 0; if (!window.countsDragovers) {"
                             "  window.countsDragovers = true;"
                             "  document.addEventListener('dragover', () => { dragovers++; }, true); } true"));
            answered = [] { return shell_->eval("dragovers > 0") == "true"; };
        }
        bool exited = false;
        ASSERT_TRUE(spawn(args, exited));
        ASSERT_TRUE(dragFromSourceWindow([&] { return exited; }, answered));
    }

    static testsupport::Shell* shell_;
};
testsupport::Shell* PageDrop::shell_ = nullptr;

TEST_F(PageDrop, FilesFromAFileManagerBecomeItemsSideBySide) {
    testsupport::TempDir dir;
    g_autoptr(GBytes) png = pngBytes();
    dir.write("red.png", std::string(static_cast<const char*>(g_bytes_get_data(png, nullptr)), g_bytes_get_size(png)));
    dir.write("notes.txt", "hello");
    dir.write("huge.bin", "");
    ASSERT_EQ(truncate(dir.file("huge.bin").c_str(), 26214401), 0);  // one byte over the limit, sparse
    g_autofree char* a = g_filename_to_uri(dir.file("red.png").c_str(), nullptr, nullptr);
    g_autofree char* b = g_filename_to_uri(dir.file("notes.txt").c_str(), nullptr, nullptr);
    g_autofree char* c = g_filename_to_uri(dir.file("huge.bin").c_str(), nullptr, nullptr);
    const std::string uri = webkit_web_view_get_uri(shell_->webView());
    ASSERT_TRUE(
        shell_->eval("window.fileDrops = []; if (!window.seenFileDrop) { const f = window.__fileDrop;"
                     "  window.__fileDrop = (d) => { fileDrops.push(d); f(d); }; window.seenFileDrop = true; } true"));
    dragFromAnotherProcess({std::string("text/uri-list ") + a + "\r\n" + b + "\r\n" + c + "\r\n"});
    ASSERT_TRUE(shell_->waitFor("board.doc().items.length === 2", 10s));
    // Read by the shell, which the page asked for, and laid out from where they were dropped.
    EXPECT_EQ(shell_->eval("fileDrops.length"), "1");
    EXPECT_EQ(shell_->eval("{ const p = boardPointAt(fileDrops[0].x, fileDrops[0].y);"
                           "  String(Math.abs(board.doc().items[0].x - p.x) <= 1) }"),
              "true");
    // The file over the limit is named, with the limit, once the others are on the board.
    EXPECT_TRUE(shell_->waitFor("/huge\\.bin.*25\\sMB/.test(document.getElementById('toast').textContent)", 10s));
    EXPECT_EQ(shell_->eval("JSON.stringify(board.doc().items.map((i) => [i.type, i.name]))"),
              R"([["image","red.png"],["file","notes.txt"]])");
    EXPECT_EQ(shell_->eval("{ const [a, b] = board.doc().items; String(a.x + a.w < b.x) }"), "true");
    EXPECT_EQ(webkit_web_view_get_uri(shell_->webView()), uri) << "the page did not navigate";
}

// Drags what `offers` holds out of another process onto the shell's window, stops and releases as
// soon as the window has accepted it (the cursor a user waits for), with no motion in between; `status` is then how the
// source says the drag ended (drag_window.h: 0 copied). Returns what went wrong, or an empty text.
std::string dragInAndReleaseStill(const std::vector<std::string>& offers, int& status) {
    testsupport::TempDir marks;
    std::vector<std::string> args{std::string(TAVRIK_TEST_TOOLS) + "/offer_source", "--marks", marks.path()};
    args.insert(args.end(), offers.begin(), offers.end());
    bool exited = false;
    if (!spawn(args, exited, &status)) return "the source did not start";
    auto marked = [&](const char* name) {
        return testsupport::runUntil([&] { return g_file_test(marks.file(name).c_str(), G_FILE_TEST_EXISTS); }, 20s);
    };
    auto xdotool = [](std::vector<std::string> steps) {
        bool done = false;
        steps.insert(steps.begin(), "xdotool");
        return spawn(steps, done) && testsupport::runUntil([&] { return done; }, 20s);
    };
    // A press and a move past the threshold inside the source's window start the drag; once it
    // has begun, the pointer enters the shell's window (an X11 source tells a window of the drag
    // only from the second motion over it) and stops there.
    if (!xdotool({"search",    "--sync", "--name",    "^drag source$", "windowmove", "1400",  "100",
                  "sleep",     "0.3",    "mousemove", "1500",          "200",        "sleep", "0.2",
                  "mousedown", "1",      "sleep",     "0.1",           "mousemove",  "1480",  "220"}) ||
        !marked("began"))
        return "the drag did not begin";
    const bool accepted =
        xdotool({"mousemove", "700", "400", "sleep", "0.2", "mousemove", "640", "400"}) && marked("accepted");
    if (!xdotool({"mouseup", "1"}) || !testsupport::runUntil([&] { return exited; }, 20s))
        return "the drag did not end";
    return accepted ? "" : "the window never accepted the drag";
}

// What users drag in from other applications lands for the page however the pointer moves: a
// text editor's sentence (offered as copy and move) released where the pointer stopped, a link from
// a browser's address bar, a file whose name is not UTF-8. The source always hears that the drop
// was finished as a copy, and the page stays where it is.
TEST_F(PageDrop, DragsFromOtherApplicationsLandAndFinishAtTheSource) {
    testsupport::TempDir dir;
    dir.write("caf\xE9.txt", "written in ISO-8859-1");
    g_autofree char* latin1 = g_filename_to_uri(dir.file("caf\xE9.txt").c_str(), nullptr, nullptr);
    struct Case {
        const char* what;
        std::vector<std::string> offers;
        std::string landed;  // the item's type and its text or name
    };
    const Case cases[] = {
        {"text released without another motion",
         {"text/plain;charset=utf-8   a note\nfrom elsewhere "},
         "note|  a note\nfrom elsewhere "},
        {"a text editor's copy-or-move drag",
         {"--move", "text/plain;charset=utf-8 moved words", "text/html <p>moved <b>words</b></p>"},
         "note|moved words"},
        {"HTML alone, as its text", {"text/html <p>some <b>rich</b> text</p>"}, "note|some rich text"},
        {"a link with its page title",
         {"text/uri-list https://127.0.0.1:9/dropped\r\n", "text/plain;charset=utf-8 A title"},
         "note|https://127.0.0.1:9/dropped"},
        {"a file whose name is ISO-8859-1", {std::string("text/uri-list ") + latin1 + "\r\n"}, "file|caf\uFFFD.txt"},
    };
    const std::string uri = webkit_web_view_get_uri(shell_->webView());
    for (const Case& c : cases) {
        ASSERT_TRUE(shell_->eval("board.load({items: []}); true"));
        int status = -1;
        ASSERT_EQ(dragInAndReleaseStill(c.offers, status), "") << c.what;
        EXPECT_EQ(status, 0) << c.what << ": the source heard the drop end as a copy";
        ASSERT_TRUE(shell_->waitFor("board.doc().items.length === 1", 10s)) << c.what;
        EXPECT_EQ(shell_->eval("(i => i.type + '|' + (i.type === 'note' ? i.text : i.name))(board.doc().items[0])"),
                  c.landed)
            << c.what;
    }
    EXPECT_EQ(webkit_web_view_get_uri(shell_->webView()), uri) << "the page did not navigate";
}
