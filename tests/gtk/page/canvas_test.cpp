// SPDX-License-Identifier: GPL-3.0-or-later
// The board as a surface people work on, in the application's own page under real WebKit: panning
// and zooming, items far off the origin, many items selected and moved, the real clipboard, where
// new items land.
#include <gtest/gtest.h>

#include "support/gtk_support.h"
#include "support/real_page.h"

using testsupport::lastSent;

namespace {

class CanvasTest : public ::testing::Test {
protected:
    void SetUp() override {
        shell.app().bridge()->commands().clear();
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        testsupport::recordMessages(shell);
        js("board.load({items: []}); __setLang('en'); boardView.setView({x: 0, y: 0, zoom: 1});"
           " window.__sent.length = 0");
    }
    std::string js(const std::string& script) { return shell.eval(script).value_or("<error>"); }
    bool waitFor(const std::string& script) { return shell.waitFor(script); }

    testsupport::Shell shell{""};
};

// Pointer events as WebKit fires them: a press at (x, y) in the window, moves to each point, a release.
std::string drag(const std::string& from, const std::string& to, const std::string& mods = "", int button = 0) {
    return "(() => { const v = document.getElementById('viewport'); const [x0, y0] = " + from + ", [x1, y1] = " + to +
           "; const o = {pointerId: 1, bubbles: true, cancelable: true, button: " + std::to_string(button) +
           ", buttons: " + std::to_string(button == 1 ? 4 : 1) + mods +
           "};"
           " const at = (x, y) => ({...o, clientX: x, clientY: y});"
           " (document.elementFromPoint(x0, y0) || v).dispatchEvent(new PointerEvent('pointerdown', at(x0, y0)));"
           " for (let i = 1; i <= 4; i++) v.dispatchEvent(new PointerEvent('pointermove', at(x0 + (x1 - x0) * i / 4, "
           "y0 + (y1 - y0) * i / 4)));"
           " v.dispatchEvent(new PointerEvent('pointerup', at(x1, y1))); })()";
}

std::string key(const std::string& k, const std::string& mods = "") {
    return "(document.activeElement || document.body).dispatchEvent(new KeyboardEvent('keydown', {key: '" + k +
           "', bubbles: true, cancelable: true" + mods + "}))";
}

// The window point of an item's top-left corner, and of its middle.
std::string corner(const std::string& id) {
    return "(() => { const r = boardView.elementOf(" + id + ").getBoundingClientRect(); return [r.left, r.top]; })()";
}
std::string middle(const std::string& id) {
    return "(() => { const r = boardView.elementOf(" + id +
           ").getBoundingClientRect(); return [r.left + r.width / 2, r.top + r.height / 2]; })()";
}

TEST_F(CanvasTest, PanAndZoomKeepWhereAnItemIsOnScreen) {
    js("window.__id = board.addNote('anchor', 500, 300)");
    // The item's screen corner expected from the view, and where WebKit really drew it.
    const std::string check =
        "(() => { const it = boardView.find(__id), v = boardView.viewport.getBoundingClientRect();"
        " const r = boardView.elementOf(__id).getBoundingClientRect();"
        " const x = v.left + (it.x - boardView.panX) * boardView.zoom, y = v.top + (it.y - boardView.panY) * "
        "boardView.zoom;"
        " return String(Math.abs(r.left - x) < 1 && Math.abs(r.top - y) < 1 && Math.abs(r.width - it.w * "
        "boardView.zoom) < 1); })()";
    struct Case {
        const char* what;
        const char* script;  // acts on the board
        const char* expect;  // compares the corner after (window.__after) with before (window.__before)
    } cases[] = {
        {"wheel scrolls down and right",
         "boardView.viewport.dispatchEvent(new WheelEvent('wheel', {deltaX: 40, deltaY: 120, clientX: 400, clientY: "
         "300, bubbles: true, cancelable: true}))",
         "__after[0] === __before[0] - 40 && __after[1] === __before[1] - 120"},
        {"Shift + wheel scrolls sideways",
         "boardView.viewport.dispatchEvent(new WheelEvent('wheel', {deltaY: 100, shiftKey: true, clientX: 400, "
         "clientY: 300, bubbles: true, cancelable: true}))",
         "__after[0] === __before[0] - 100 && __after[1] === __before[1]"},
        {"dragging empty board pans with it", nullptr,
         "__after[0] === __before[0] + 150 && __after[1] === __before[1] + 90"},
        {"the middle button pans over an item too", nullptr,
         "__after[0] === __before[0] - 60 && __after[1] === __before[1] - 30"},
        {"Ctrl + wheel zooms around the pointer: the point under it stays",
         "boardView.viewport.dispatchEvent(new WheelEvent('wheel', {deltaY: -300, ctrlKey: true, clientX: __before[0] "
         "+ 20,"
         " clientY: __before[1] + 10, bubbles: true, cancelable: true}))",
         "boardView.zoom > 1.2 && Math.abs(__after[0] - (__before[0] + 20 - 20 * boardView.zoom)) < 1"},
        {"a touchpad pinch (from the shell) zooms out around its centre",
         "__pinchZoom(0.5, __before[0] + 20, __before[1] + 10)",
         "Math.abs(__after[0] - (__before[0] + 10)) < 1 && Math.abs(__after[1] - (__before[1] + 5)) < 1 && "
         "boardView.zoom < 1"},
        {"arrow keys pan when nothing is selected", "boardView.select(null); document.body.focus();",
         "__after[0] === __before[0] - 60"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        js(std::string("window.__before = ") + corner("__id"));
        if (std::string(c.what).starts_with("dragging")) {
            // Empty board well away from the note.
            js(drag("[boardView.viewport.getBoundingClientRect().left + 60, 500]",
                    "[boardView.viewport.getBoundingClientRect().left + 210, 590]"));
        } else if (std::string(c.what).starts_with("the middle")) {
            js(drag(middle("__id"), "[" + middle("__id") + "[0] - 60, " + middle("__id") + "[1] - 30]", "", 1));
        } else {
            js(c.script);
        }
        if (std::string(c.what).starts_with("arrow")) js(key("ArrowRight"));
        js(std::string("window.__after = ") + corner("__id"));
        EXPECT_EQ(js(std::string("String(") + c.expect + ")"), "true")
            << js("JSON.stringify([__before, __after, boardView.zoom])");
        EXPECT_EQ(js(check), "true");
    }
    // Ctrl+0 is 100 % again, around the view's centre; panning never selected or moved the note.
    js(key("0", ", ctrlKey: true"));
    EXPECT_EQ(js("String(boardView.zoom)"), "1");
    EXPECT_EQ(js("JSON.stringify([boardView.find(__id).x, boardView.find(__id).y])"), "[390,230]");
}

TEST_F(CanvasTest, AnItemFarOffTheTopLeftIsReachedByFitAndKeptBySaveAndOpen) {
    js("window.__a = board.addNote('home', 400, 300); window.__b = board.addNote('far away', 700, 300)");
    // Dragged up and left, past where the old board ended, then on with the arrow keys.
    js("board.select(__b)");
    js(drag(middle("__b"), "[" + middle("__b") + "[0] - 1400, " + middle("__b") + "[1] - 900]"));
    for (int i = 0; i < 40; ++i) js(key("ArrowUp", ", shiftKey: true"));
    EXPECT_EQ(js("JSON.stringify([boardView.find(__b).x, boardView.find(__b).y])"), "[-810,-1070]");
    const std::string inView =
        "(() => { const v = boardView.viewport.getBoundingClientRect(); return board.doc().items.every((it) => {"
        " const r = boardView.elementOf(it.id).getBoundingClientRect();"
        " return r.left >= v.left && r.top >= v.top && r.right <= v.right && r.bottom <= v.bottom; }); })()";
    js("boardView.setView({x: 2000, y: 2000, zoom: 1})");  // looking elsewhere
    EXPECT_EQ(js("String(" + inView + ")"), "false");
    js(key("1", ", ctrlKey: true"));
    EXPECT_EQ(js("String(" + inView + ")"), "true");
    // The View menu's command does the same.
    js("boardView.setView({x: 2000, y: 2000, zoom: 3}); __menuAction('zoom:fit')");
    EXPECT_EQ(js("String(" + inView + ")"), "true");
    js("__menuAction('zoom:100')");
    EXPECT_EQ(js("String(boardView.zoom)"), "1");

    // Saved and opened again: the same places, shown whole; the export covers it.
    js("document.getElementById('btn-save').click()");
    ASSERT_TRUE(waitFor(lastSent("saveJSON")));
    const std::string saved = js(lastSent("saveJSON") + ".json");
    js("board.load({items: []}); boardView.setView({x: 5000, y: 5000, zoom: 2})");
    js("__restoreNative(" + js("JSON.stringify(" + lastSent("saveJSON") + ".json)") + ")");
    EXPECT_EQ(js("JSON.stringify(board.doc().items.map((i) => [i.text, i.x, i.y]))"),
              R"([["home",290,230],["far away",-810,-1070]])")
        << saved;
    EXPECT_EQ(js("String(" + inView + ")"), "true");
    EXPECT_EQ(js("JSON.stringify(boardView.exportRect(0))"), R"({"x":-850,"y":-1110,"w":1400,"h":1520})");
}

TEST_F(CanvasTest, ShiftDragSelectsManyThatMoveDeleteAndUndoTogether) {
    js("window.__ids = [0, 1, 2, 3, 4, 5].map((i) => board.addNote('n' + i, 150 + i * 160, 200 + (i % 2) * 40))");
    js("boardView.setView({x: 0, y: 0, zoom: 0.8}); boardView.select(null)");
    const std::string places = "JSON.stringify(board.doc().items.map((i) => [i.x, i.y]))";
    const std::string before = js(places);
    // A band from above the first note to the middle of the fifth: five touched, the sixth not.
    js(drag("(() => { const v = boardView.viewport.getBoundingClientRect(); return [v.left + 5, v.top + 5]; })()",
            middle("__ids[4]"), ", shiftKey: true"));
    EXPECT_EQ(js("[...boardView.selection].sort((a, b) => a - b).join()"), js("__ids.slice(0, 5).join()"));
    EXPECT_EQ(js("String(document.querySelectorAll('.rubber-band').length)"), "0");
    // Without Shift the same drag on empty board pans and keeps the items where they are.
    // Dragging one selected note moves all five.
    js(drag(middle("__ids[2]"), "[" + middle("__ids[2]") + "[0] + 80, " + middle("__ids[2]") + "[1] + 40]"));
    EXPECT_EQ(js("board.doc().items.map((i, n) => i.x - JSON.parse('" + before + "')[n][0]).join()"),
              "100,100,100,100,100,0");
    // Shift + arrow nudges them by 10; Ctrl + click takes one out of the selection.
    js(key("ArrowDown", ", shiftKey: true"));
    js(drag(middle("__ids[0]"), middle("__ids[0]"), ", ctrlKey: true"));
    EXPECT_EQ(js("String(boardView.selection.size)"), "4");
    js(key("Delete"));
    EXPECT_EQ(js("board.doc().items.map((i) => i.text).join()"), "n0,n5");
    // Each of the three was one step.
    js(key("z", ", ctrlKey: true"));
    EXPECT_EQ(js("String(board.doc().items.length)"), "6");
    EXPECT_EQ(js("String(boardView.selection.size)"), "4") << "what comes back is selected";
    js(key("z", ", ctrlKey: true"));
    js(key("z", ", ctrlKey: true"));
    EXPECT_EQ(js(places), before);
    // Ctrl+A outside text fields selects everything; inside one it is the field's.
    js("boardView.select(null); document.getElementById('ai-prompt').focus()");
    js(key("a", ", ctrlKey: true"));
    EXPECT_EQ(js("String(boardView.selection.size)"), "0");
    js("document.getElementById('ai-prompt').blur(); boardView.viewport.focus()");
    js(key("a", ", ctrlKey: true"));
    EXPECT_EQ(js("String(boardView.selection.size)"), "6");
}

// Reads the GTK clipboard's formats and text as another application would.
struct ClipboardContents {
    std::string formats, text;
};
ClipboardContents readClipboard(GtkWidget* widget) {
    GdkClipboard* clipboard = gtk_widget_get_clipboard(widget);
    ClipboardContents out;
    g_autofree char* formats = gdk_content_formats_to_string(gdk_clipboard_get_formats(clipboard));
    out.formats = formats ? formats : "";
    bool done = false;
    struct Wait {
        bool* done;
        std::string* text;
    } wait{&done, &out.text};
    gdk_clipboard_read_text_async(
        clipboard, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            auto* w = static_cast<Wait*>(data);
            g_autofree char* text = gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, nullptr);
            if (text) *w->text = text;
            *w->done = true;
        },
        &wait);
    testsupport::runUntil([&] { return done; });
    return out;
}

TEST_F(CanvasTest, CopyCutPasteAndDuplicateGoThroughTheRealClipboard) {
    js("window.__a = board.addNote('alpha', 300, 300); window.__b = board.addNote('beta\\nline 2', 600, 300);"
       " boardView.setSelection([__a, __b]); boardView.viewport.focus()");
    webkit_web_view_execute_editing_command(shell.webView(), WEBKIT_EDITING_COMMAND_COPY);
    ASSERT_TRUE(testsupport::runUntil([&] {
        return readClipboard(GTK_WIDGET(shell.webView())).text == "alpha\n\nbeta\nline 2";
    })) << readClipboard(GTK_WIDGET(shell.webView())).text;
    const auto contents = readClipboard(GTK_WIDGET(shell.webView()));
    EXPECT_NE(contents.formats.find("text/html"), std::string::npos) << contents.formats;

    // Pasted back from the clipboard: the items themselves, selected, kept apart as they were, at
    // the pointer.
    js("window.dispatchEvent(new PointerEvent('pointermove', {clientX: 300, clientY: 500, bubbles: true}))");
    webkit_web_view_execute_editing_command(shell.webView(), WEBKIT_EDITING_COMMAND_PASTE);
    ASSERT_TRUE(waitFor("board.doc().items.length === 4"));
    EXPECT_EQ(js("board.doc().items.slice(2).map((i) => i.text + '@' + (i.x - board.doc().items[2].x)).join('|')"),
              "alpha@0|beta\nline 2@300");
    EXPECT_EQ(js("String(boardView.selection.size)"), "2");
    EXPECT_EQ(js("(() => { const p = boardView.pointAt(300, 500), b = unionRect(boardView.selectedItems());"
                 " return String(Math.abs(b.x + b.w / 2 - p.x) < 1 && Math.abs(b.y + b.h / 2 - p.y) < 1); })()"),
              "true");
    // Text from elsewhere is a note.
    js("__floatDrop([{kind: 'text', text: 'from another app'}])");
    EXPECT_EQ(js("board.doc().items.at(-1).text"), "from another app");

    // Cut takes them off the board, as one step; Ctrl+D duplicates beside the original.
    js("boardView.setSelection([__a, __b])");
    webkit_web_view_execute_editing_command(shell.webView(), WEBKIT_EDITING_COMMAND_CUT);
    ASSERT_TRUE(waitFor("board.doc().items.length === 3"));
    js(key("z", ", ctrlKey: true"));
    EXPECT_EQ(js("String(board.doc().items.length)"), "5");
    js("board.select(__a); boardView.viewport.focus()");
    js(key("d", ", ctrlKey: true"));
    EXPECT_EQ(js("(() => { const a = boardView.find(__a), d = boardView.selected();"
                 " return [d.text, d.x - a.x, d.y - a.y, d.id !== a.id].join(); })()"),
              "alpha,24,24,true");
}

TEST_F(CanvasTest, NewItemsLandInViewBesideEachOtherAndClearOfThePanel) {
    ASSERT_EQ(js("String(!document.getElementById('panel').classList.contains('hidden'))"), "true");
    // Whether every item is drawn inside the viewport (left of the panel) and none covers another.
    const std::string report =
        "(() => { const v = boardView.viewport.getBoundingClientRect(), p = "
        "document.getElementById('panel').getBoundingClientRect();"
        " const rs = board.doc().items.map((i) => boardView.elementOf(i.id).getBoundingClientRect());"
        " const inside = rs.every((r) => r.left >= v.left && r.right <= v.right && r.right <= p.left && r.top >= v.top "
        "&& "
        "r.bottom <= v.bottom);"
        " const apart = rs.every((a, i) => rs.every((b, j) => i === j || a.right <= b.left || b.right <= a.left || "
        "a.bottom <= b.top || b.bottom <= a.top));"
        " return `${rs.length} ${inside ? 'inside' : 'outside'} ${apart ? 'apart' : 'overlapping'}`; })()";
    const char* kFiles =
        "dt.items.add(new File(['a'], 'a.txt', {type: 'text/plain'})); dt.items.add(new File(['b'], 'b.txt', {type: "
        "'text/plain'})); dt.items.add(new File(['c'], 'c.txt', {type: 'text/plain'}))";
    struct Case {
        const char* where;
        const char* point;  // window point of the drop, from the viewport's rectangle v
    } cases[] = {
        {"middle", "[v.left + v.width / 2, v.top + v.height / 2]"},
        {"next to the panel", "[v.right - 20, v.top + 200]"},
        {"bottom right corner", "[v.right - 5, v.bottom - 5]"},
        {"top left corner", "[v.left + 2, v.top + 2]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        js("board.load({items: []}); boardView.setView({x: -300, y: 100, zoom: 1})");
        js(std::string("(() => { const v = boardView.viewport.getBoundingClientRect(), [x, y] = ") + c.point +
           "; const dt = new DataTransfer(); " + kFiles +
           "; const e = new DragEvent('drop', {dataTransfer: dt, clientX: x, clientY: y, bubbles: true, cancelable: "
           "true}); (document.elementFromPoint(x, y) || document.body).dispatchEvent(e); })()");
        ASSERT_TRUE(waitFor("board.doc().items.length === 3"));
        EXPECT_EQ(js(report), "3 inside apart");
    }
    // Added without a point: beside the previous one, then wherever there is room in view (nine fit
    // the default window); one more than fits goes below, and the view follows it.
    js("board.load({items: []}); boardView.setView({x: 0, y: 0, zoom: 1});"
       " for (let i = 0; i < 9; i++) document.getElementById('btn-note').click()");
    EXPECT_EQ(js(report), "9 inside apart");
    js("document.getElementById('btn-note').click()");
    EXPECT_EQ(js("(() => { const v = boardView.viewport.getBoundingClientRect(), items = board.doc().items,"
                 " r = boardView.elementOf(items[items.length - 1].id).getBoundingClientRect();"
                 " return String(r.top >= v.top && r.bottom <= v.bottom); })()"),
              "true");
    EXPECT_EQ(
        js("(() => { const [a, b] = board.doc().items; return String(b.x === a.x + a.w + 24 && b.y === a.y); })()"),
        "true");
    // Looking elsewhere, the next note comes where the user looks.
    js("boardView.setView({x: 9000, y: -4000, zoom: 0.5}); document.getElementById('btn-note').click()");
    EXPECT_EQ(js("(() => { const it = board.doc().items.at(-1); return String(boardView.visibleRect().x <= it.x && "
                 "it.x + it.w <= boardView.visibleRect().x + boardView.visibleRect().w); })()"),
              "true");
    // A new note is empty: its hint is a placeholder, neither its text nor in an export.
    EXPECT_EQ(js("board.doc().items.at(-1).text"), "");
    EXPECT_EQ(js("getComputedStyle(boardView.elementOf(board.doc().items.at(-1).id).querySelector('.text'), "
                 "'::before').content"),
              "\"Double-click or press Enter to write\"");
}

}  // namespace
