// SPDX-License-Identifier: GPL-3.0-or-later
// The application's own page under real WebKit: its document, exports, PDF upload, drops,
// languages and the way it shows what the shell reports. The shell's replies are made here by
// calling the page functions the way the native side does.
#include <gtest/gtest.h>

#include "support/gtk_support.h"
#include "support/real_page.h"

using testsupport::lastSent;

namespace {

class PageTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The page alone: its messages are recorded, and no native part acts on them (no dialogs,
        // no files, no network). The journeys run the page with every part.
        shell.app().bridge()->commands().clear();
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        testsupport::recordMessages(shell);
        js("board.load({items: []}); __setLang('zh-Hans'); window.__sent.length = 0");
    }
    std::string js(const std::string& script) { return shell.eval(script).value_or("<error>"); }
    bool waitFor(const std::string& script) { return shell.waitFor(script); }
    // A new start of the page, as after the application was quit or killed.
    bool restart() {
        js("window.__gone = true");
        webkit_web_view_reload(shell.webView());
        return waitFor("!window.__gone && window.board && typeof window.__quitFlushU === 'function'");
    }
    // The recovery copy is written a moment after the last change; the tests do not wait for the moment.
    bool stored() {
        js("window.__stored = false; recovery.flush().then(() => { window.__stored = true; })");
        return waitFor("window.__stored");
    }

    testsupport::Shell shell{""};
};

// A small PNG made by the page itself, as a data URL.
const char* kMakePng =
    "(() => { const c = document.createElement('canvas'); c.width = 40; c.height = 20;"
    " const g = c.getContext('2d'); g.fillStyle = '#c00'; g.fillRect(0, 0, 40, 20); return c.toDataURL('image/png'); "
    "})()";

TEST_F(PageTest, DocumentSavesOpensAndRefusesWhatIsNotABoard) {
    EXPECT_EQ(js("String(__quitHasContentU())"), "false");
    js("board.addNote('你好 board', 100, 100)");
    EXPECT_EQ(js("String(__quitHasContentU())"), "true");

    // Saved only once the shell reports the file written, and only if the board is as it was sent.
    const std::string written = "__saveResult({action: 'saveJSON', ok: true, name: 'b.json', reason: 'written'})";
    js("saveJSON()");
    ASSERT_TRUE(waitFor(lastSent("saveJSON")));
    std::string saved = js(lastSent("saveJSON") + ".json");
    EXPECT_NE(saved.find("你好 board"), std::string::npos);
    EXPECT_EQ(js("String(__quitHasContentU())"), "true") << "asking to save is not saving";
    js("__saveResult({action: 'saveJSON', ok: false, name: '', reason: 'cancelled'})");
    EXPECT_EQ(js("String(__quitHasContentU())"), "true");
    js("saveJSON(); board.addNote('after the save was sent'); " + written);
    EXPECT_EQ(js("String(__quitHasContentU())"), "true") << "the file lacks the later note";
    js("__saveResult({action: 'savePDF', ok: true, name: 'b.pdf', reason: 'written'})");
    EXPECT_EQ(js("String(__quitHasContentU())"), "true") << "an export is no save of the board";
    js("saveJSON(); " + written);
    EXPECT_EQ(js("String(__quitHasContentU())"), "false");
    EXPECT_EQ(js("document.getElementById('toast').textContent"), "已保存为 b.json");

    // Opening keeps only well-formed items with inline data: nothing remote, nothing malformed.
    js(R"(__restoreNative(JSON.stringify({items: [
          {type: 'note', x: 1, y: 2, w: 100, h: 50, text: 'kept'},
          {type: 'image', x: 0, y: 0, w: 10, h: 10, src: 'https://127.0.0.1/x.png'},
          {type: 'image', x: 0, y: 0, w: 10, h: 10, src: 'file:///etc/passwd'},
          {type: 'note', x: 'a', y: 0, w: 1, h: 1, text: 'bad'}, {type: 'script'}, null]})))");
    EXPECT_EQ(js("JSON.stringify(board.doc().items.map((i) => i.text))"), R"(["kept"])");
    EXPECT_EQ(js("String(document.querySelectorAll('#world img').length)"), "0");

    // Text that is no board leaves the board alone and says so.
    for (const char* bad : {"'not json'", "'[1,2]'", "'{\"items\": 3}'"}) {
        js(std::string("__restoreNative(") + bad + ")");
        EXPECT_EQ(js("String(board.doc().items.length)"), "1") << bad;
        EXPECT_EQ(js("document.getElementById('toast').className"), "show error") << bad;
    }

    js("__quitDiscardU()");
    js("board.addNote('x')");
    js("__quitDiscardU()");
    EXPECT_EQ(js("String(__quitHasContentU())"), "false");
}

// Unsaved work outlives the page: a copy is kept while the board is unsaved and offered at every
// start until a save is confirmed or the work is dropped.
TEST_F(PageTest, UnsavedWorkComesBackUntilItIsSavedOrDiscarded) {
    // Resolves after the start's own look at the copy: what is on the board then stays.
    auto nothingOffered = [&] {
        js("window.__copy = undefined; recovery.take().then((c) => { window.__copy = c; })");
        return waitFor("window.__copy === null") && js("String(board.doc().items.length)") == "0";
    };
    js("board.addNote('keep me safe')");
    ASSERT_TRUE(stored());
    for (int start = 0; start < 2; ++start) {  // offered again as long as it is not saved
        ASSERT_TRUE(restart());
        ASSERT_TRUE(waitFor("board.doc().items.length === 1")) << start;
        EXPECT_EQ(js("board.doc().items.map((i) => i.text).join()"), "keep me safe");
        EXPECT_EQ(js("String(__quitHasContentU())"), "true");
    }
    js("saveJSON(); __saveResult({action: 'saveJSON', ok: true, name: 'a.json', reason: 'written'})");
    ASSERT_TRUE(restart());
    EXPECT_TRUE(nothingOffered()) << "a confirmed save leaves nothing to recover";

    js("board.addNote('throw away')");
    ASSERT_TRUE(stored());
    js("__quitDiscardU()");
    ASSERT_TRUE(restart());
    EXPECT_TRUE(nothingOffered()) << "dropped work is not brought back";
}

// A PNG of noise (it does not compress) of ~165,000 characters as a data URL, the same for one seed.
std::string noisePng(int seed) {
    return "(() => { const c = document.createElement('canvas'); c.width = 256; c.height = 160;"
           " const g = c.getContext('2d'), d = g.createImageData(256, 160); let s = " +
           std::to_string(seed) +
           ";"
           " for (let i = 0; i < d.data.length; i++) { s = (Math.imul(s, 1103515245) + 12345) >>> 0;"
           " d.data[i] = i % 4 === 3 ? 255 : s >>> 24; }"
           " g.putImageData(d, 0, 0); return c.toDataURL('image/png'); })()";
}

// Pictures and files are stored once, beside the board's record: a small change writes no picture
// again, a removed one's record goes, and the copy comes back whole after every start.
TEST_F(PageTest, RecoveryCopyOfLargePicturesComesBackWhole) {
    // The keys of the stored records, sorted, once read.
    auto records = [&] {
        js("window.__keys = undefined; indexedDB.open('tavrik').onsuccess = (e) => {"
           " const r = e.target.result.transaction('recovery').objectStore('recovery').getAllKeys();"
           " r.onsuccess = () => { window.__keys = JSON.stringify(r.result.map(String).sort()); }; }");
        EXPECT_TRUE(waitFor("window.__keys !== undefined"));
        return js("window.__keys");
    };
    auto count = [&] { return js("String(JSON.parse(window.__keys).length)"); };
    // Every item's kind and data, in board order.
    const std::string contents =
        "board.doc().items.map((i) => [i.type, i.name, i.src || i.dataUrl || i.text].join(' ')).join('\\n')";
    auto comesBack = [&](const std::string& expected, size_t items) {
        if (!restart() || !waitFor("board.doc().items.length === " + std::to_string(items))) return false;
        return js(contents) == expected && js("String(__quitHasContentU())") == "true";
    };

    js("window.__a = " + noisePng(1) + "; window.__b = " + noisePng(2));
    ASSERT_GT(std::stoi(js("String(Math.min(__a.length, __b.length))")), 64 * 1024);
    js("window.__added = false; board.addImage(__a, 'a').then(() => board.addImage(__b, 'b'))"
       ".then(() => board.addImage(__a, 'a again')).then(() => { window.__added = true; })");
    ASSERT_TRUE(waitFor("window.__added"));
    js("board.addFile('f.bin', 'application/octet-stream', 'data:application/octet-stream;base64,' + "
       "btoa('f'.repeat(100000))); board.addNote('small')");
    ASSERT_TRUE(stored());
    const std::string first = records();
    EXPECT_EQ(count(), "4") << "the board and each large string once: " << first;

    js("board.addNote('a small change')");
    ASSERT_TRUE(stored());
    EXPECT_EQ(records(), first) << "a small change writes no large string again";
    const std::string whole = js(contents);
    ASSERT_TRUE(comesBack(whole, 6));
    js("board.addNote('after the start')");
    ASSERT_TRUE(stored());
    EXPECT_EQ(records(), first) << "the restored strings are not written again";

    // A removed picture's record goes with the copy that no longer needs it; undone, it is back.
    js("board.remove(board.doc().items.find((i) => i.name === 'b').id)");
    ASSERT_TRUE(stored());
    records();
    EXPECT_EQ(count(), "3");
    js("undo()");
    ASSERT_TRUE(stored());
    records();
    EXPECT_EQ(count(), "4");
    const std::string undone = js(contents);
    EXPECT_TRUE(undone == whole + "\nnote  after the start");
    ASSERT_TRUE(comesBack(undone, 7));

    js("saveJSON(); __saveResult({action: 'saveJSON', ok: true, name: 'a.json', reason: 'written'})");
    EXPECT_EQ(records(), "[]") << "a confirmed save leaves no record behind";

    // A copy as earlier versions wrote it, with its strings inline, is still offered.
    js("window.__put = false; window.__c = " + noisePng(3) +
       "; indexedDB.open('tavrik').onsuccess = (e) => {"
       " const tx = e.target.result.transaction('recovery', 'readwrite');"
       " tx.objectStore('recovery').put({at: Date.now() + 1, doc: {format: 'tavrik-board', version: 1, items: ["
       " {type: 'image', x: 0, y: 0, w: 256, h: 160, src: __c, name: 'c'},"
       " {type: 'note', x: 0, y: 200, w: 220, h: 140, text: 'old copy', color: '#fff3a8'}]}}, 'board');"
       " tx.oncomplete = () => { window.__put = true; }; }");
    ASSERT_TRUE(waitFor("window.__put"));
    const std::string inlineImage = js("__c");
    ASSERT_TRUE(restart());
    ASSERT_TRUE(waitFor("board.doc().items.length === 2"));
    EXPECT_TRUE(js("board.doc().items[0].src") == inlineImage);
    EXPECT_EQ(js("board.doc().items[1].text"), "old copy");
    js("board.addNote('x')");
    ASSERT_TRUE(stored());
    records();
    EXPECT_EQ(count(), "2") << "rewritten with its picture beside it";
    ASSERT_TRUE(comesBack(js(contents), 3));
}

TEST_F(PageTest, ExportsKeepTheChosenRatioAndCutPages) {
    // The size of the image in a recorded message, read back by decoding it.
    auto sizeOf = [&](const std::string& dataUrlExpr) {
        js("window.__size = null; { const i = new Image(); i.onload = () => window.__size = i.naturalWidth + 'x' + "
           "i.naturalHeight; i.src = " +
           dataUrlExpr + "; }");
        EXPECT_TRUE(waitFor("window.__size"));
        std::string s = js("window.__size");
        auto x = s.find('x');
        return std::stod(s.substr(0, x)) / std::stod(s.substr(x + 1));
    };
    js("__menuAction('export:png')");
    EXPECT_EQ(js("String(!!" + lastSent("saveImage") + ")"), "false") << "an empty board exports nothing";

    js("board.addNote('a', 0, 0); board.addNote('b', 500, 1400)");
    struct Case {
        const char* command;
        const char* ext;
        double ratio;
    } cases[] = {
        {"export:png:1", "png", 16.0 / 9}, {"export:png:2", "png", 9.0 / 16}, {"export:jpg:3", "jpg", 4.0 / 3},
        {"export:jpg:4", "jpg", 3.0 / 4},  {"export:png:5", "png", 1.0},
    };
    for (const auto& c : cases) {
        js(std::string("window.__sent.length = 0; __menuAction('") + c.command + "')");
        ASSERT_TRUE(waitFor(lastSent("saveImage"))) << c.command;
        EXPECT_EQ(js(lastSent("saveImage") + ".ext"), c.ext) << c.command;
        EXPECT_EQ(js(lastSent("saveImage") + ".dataUrl.slice(0, 15)"),
                  std::string(c.ext[0] == 'j' ? "data:image/jpeg" : "data:image/png;"))
            << c.command;
        EXPECT_NEAR(sizeOf(lastSent("saveImage") + ".dataUrl"), c.ratio, 0.01) << c.command;
    }

    // A tall board becomes several A4-proportioned pages; a short one a single-page PDF.
    js("window.__sent.length = 0; board.exportPDFPages()");
    ASSERT_TRUE(waitFor(lastSent("savePDFPages")));
    EXPECT_EQ(js("String(" + lastSent("savePDFPages") + ".pages.length)"), "2");
    EXPECT_NEAR(sizeOf(lastSent("savePDFPages") + ".pages[1]"), 1 / 1.41421356, 0.01);
    js("__menuAction('export:pdf')");
    EXPECT_TRUE(waitFor(lastSent("savePDF") + ".dataUrl.startsWith('data:image/')"));

    // The OpenDocument formats are written by the page and saved as files, like the Office ones.
    for (const char* format : {"odt", "odp"}) {
        js(std::string("window.__sent.length = 0; __menuAction('export:") + format + "')");
        ASSERT_TRUE(waitFor(lastSent("saveFile"))) << format;
        EXPECT_EQ(
            js(lastSent("saveFile") + ".dataUrl.split(';')[0]"),
            std::string("data:application/vnd.oasis.opendocument.") + (format[2] == 't' ? "text" : "presentation"));
    }
}

// Pictures are shown from blob: URLs of their bytes, while the document, its saves and its exports
// keep and use the data URLs; a URL is let go with its item.
TEST_F(PageTest, PicturesShowFromBlobUrlsWhileTheDocumentKeepsDataUrls) {
    js(std::string("window.__png = ") + kMakePng);
    js("window.__id = null; board.addImage(window.__png, 'red.png').then((id) => window.__id = id)");
    ASSERT_TRUE(waitFor("window.__id"));
    const std::string img = "document.querySelector('#world [data-id=\"' + window.__id + '\"] img')";
    ASSERT_TRUE(waitFor(img + ".src.startsWith('blob:') && " + img + ".complete && " + img + ".naturalWidth === 40"));
    EXPECT_EQ(js("String(board.doc().items[0].src === window.__png)"), "true");

    // The export draws the shown picture: red in the middle, and the canvas is not tainted.
    // The middle pixel of a PNG export of the whole board.
    auto exportedMiddle = [&] {
        js("window.__sent.length = 0; __menuAction('export:png')");
        EXPECT_TRUE(waitFor(lastSent("saveImage")));
        js("window.__px = null; { const i = new Image(); i.onload = () => { const c = document.createElement('canvas');"
           " c.width = i.naturalWidth; c.height = i.naturalHeight; const g = c.getContext('2d'); g.drawImage(i, 0, 0);"
           " window.__px = Array.from(g.getImageData(c.width >> 1, c.height >> 1, 1, 1).data).join(); }; i.src = " +
           lastSent("saveImage") + ".dataUrl; }");
        EXPECT_TRUE(waitFor("window.__px"));
        return js("window.__px");
    };
    EXPECT_EQ(exportedMiddle(), "204,0,0,255");
    js("__menuAction('export:pdf')");
    EXPECT_TRUE(waitFor(lastSent("savePDF") + ".dataUrl.startsWith('data:image/')"));

    // Removing the item lets its URL go: it no longer loads.
    auto loads = [&](const std::string& url) {
        js("window.__ok = null; { const i = new Image(); i.onload = () => window.__ok = 'yes';"
           " i.onerror = () => window.__ok = 'no'; i.src = " +
           url + "; }");
        EXPECT_TRUE(waitFor("window.__ok"));
        return js("window.__ok");
    };
    js("window.__url = " + img + ".src");
    EXPECT_EQ(loads("window.__url"), "yes");
    js("board.remove(window.__id)");
    EXPECT_EQ(loads("window.__url"), "no");

    // An opened document shows the same way; a data URL that is not base64 is shown as it is.
    js(R"(board.load({items: [{type: 'paper', x: 0, y: 0, w: 40, h: 20, src: window.__png, name: 'p 1'},
          {type: 'image', x: 0, y: 50, w: 10, h: 10, name: 's',
           src: 'data:image/svg+xml,%3Csvg xmlns=%22http://www.w3.org/2000/svg%22 width=%2210%22 height=%2210%22/%3E'}]}))");
    ASSERT_TRUE(
        waitFor("Array.from(document.querySelectorAll('#world img'), (i) => i.src.slice(0, 5)).join()"
                " === 'blob:,data:'"));
    EXPECT_TRUE(
        waitFor("Array.from(document.querySelectorAll('#world img')).every((i) => i.complete && i.naturalWidth)"));
    EXPECT_EQ(js("String(board.doc().items[0].src === window.__png)"), "true");

    // A picture far from the view is not loaded until it comes near it, and an export waits for it.
    // (An opened board is shown whole: the view goes back to the origin before the picture could load.)
    js("board.load({items: [{type: 'image', x: 40000, y: 40000, w: 40, h: 40, src: window.__png, name: 'far'}]});"
       " boardView.setView({x: 0, y: 0, zoom: 1}); window.__f = 0; requestAnimationFrame(() => "
       "requestAnimationFrame(() => window.__f = 1))");
    ASSERT_TRUE(waitFor("window.__f"));
    const std::string far = "document.querySelector('#world img')";
    EXPECT_EQ(js("String(" + far + ".hasAttribute('src'))"), "false");
    EXPECT_EQ(exportedMiddle(), "204,0,0,255");
    js("board.load({items: [{type: 'image', x: 40000, y: 40000, w: 40, h: 40, src: window.__png, name: 'far'}]});"
       " boardView.setView({x: 0, y: 0, zoom: 1})");
    js("boardView.setView({x: 39800, y: 39800, zoom: 1})");
    EXPECT_TRUE(waitFor(far + ".src.startsWith('blob:') && " + far + ".naturalWidth === 40"));
}

TEST_F(PageTest, LargePdfGoesInChunksAndPagesLandOnTheBoard) {
    // Something far to the right, so the template lands outside the view and the view must follow.
    js("board.load({items: [{type: 'note', x: 4000, y: 0, w: 220, h: 140, text: 'far'}]})");
    // 1.25 MiB of base64: three chunks, each a whole number of base64 quads.
    js("window.__payload = 'QUJD'.repeat(327680); "
       "window.__req = board.importPdf('big.pdf', 'data:application/pdf;base64,' + window.__payload)");
    EXPECT_EQ(js("window.__sent.map((s) => JSON.parse(s).action).join()"),
              "renderPDFBegin,renderPDFChunk,renderPDFChunk,renderPDFChunk,renderPDFEnd");
    EXPECT_EQ(js("String(window.__sent.map((s) => JSON.parse(s)).filter((m) => m.action === 'renderPDFChunk')"
                 ".every((m) => m.chunk.length % 4 === 0 && m.chunk.length <= 524288 && m.reqId === window.__req))"),
              "true");
    EXPECT_EQ(js("String(window.__sent.map((s) => JSON.parse(s)).filter((m) => m.action === 'renderPDFChunk')"
                 ".map((m) => m.chunk).join('') === window.__payload)"),
              "true");
    EXPECT_EQ(js(lastSent("renderPDFEnd") + ".name"), "big.pdf");

    js("window.__sent.length = 0; window.__small = board.importPdf('s.pdf', 'data:application/pdf;base64,JVBERi0=')");
    EXPECT_EQ(js(lastSent("renderPDF") + ".reqId === window.__small ? 'whole' : 'no'"), "whole");

    // The shell's answers: two pages, in order, then the end; a request with no pages is an error.
    // A JPEG is measured from its header, anything else by loading it: both keep their proportions.
    js(std::string("{ const p = ") + kMakePng +
       ", c = document.createElement('canvas'); c.width = 300; c.height = 150;"
       " const j = c.toDataURL('image/jpeg', 0.9);"
       " __pdfPageU(window.__req, 0, 2, p); __pdfPageU(window.__req, 1, 2, j);"
       " __pdfPageU('someone-else', 0, 1, p); __pdfRendered(window.__req, []); }");
    ASSERT_TRUE(waitFor("board.doc().items.filter((i) => i.type === 'paper').length === 2"));
    EXPECT_EQ(js("String(board.doc().items[0].y < board.doc().items[1].y)"), "true");
    EXPECT_EQ(js("(() => { const v = boardView.visibleRect(), p = board.doc().items[0];"
                 " return String(p.x > 4000 && p.x >= v.x && p.x + p.w <= v.x + v.w"
                 " && p.y >= v.y && p.y < v.y + v.h); })()"),
              "true")
        << "the first page is in view";
    EXPECT_EQ(js("board.doc().items.filter((i) => i.type === 'paper').map((i) => `${i.w}x${i.h}`).join()"),
              "600x300,600x300");
    EXPECT_EQ(js("String(board.doc().items[1].src.startsWith('data:image/jpeg;base64,'))"), "true");
    js("__pdfRendered(window.__small, [])");
    EXPECT_TRUE(waitFor("document.getElementById('toast').className === 'show error'"));
    EXPECT_EQ(js("String(document.getElementById('toast').textContent === i18n.t('pdfFailed'))"), "true");
    // A file that needs a password is told apart, in the shell's word just before the end.
    js("window.__locked = board.importPdf('l.pdf', 'data:application/pdf;base64,JVBERi0=');"
       " __pdfLocked(window.__locked); __pdfRendered(window.__locked, [])");
    EXPECT_TRUE(waitFor("document.getElementById('toast').textContent === i18n.t('pdfLocked')"));
    EXPECT_EQ(js("document.getElementById('toast').className"), "show error");
    // A long file: its first pages come, and the user is told how many the document had.
    js(std::string("{ window.__long = board.importPdf('t.pdf', 'data:application/pdf;base64,JVBERi0=');"
                   " const p = ") +
       kMakePng +
       "; __pdfPageU(window.__long, 0, 120, p); __pdfTruncated(window.__long, 180);"
       " __pdfRendered(window.__long, []); }");
    EXPECT_TRUE(
        waitFor("document.getElementById('toast').textContent ==="
                " i18n.t('pdfTruncated', { n: 120, total: 180 })"))
        << js("document.getElementById('toast').textContent");

    // With template pages on the board (two, and the long file's one), the PDF export makes one
    // page per template page.
    js("board.addNote('on page 1', 0, 0); window.__sent.length = 0; __menuAction('export:pdf')");
    ASSERT_TRUE(waitFor(lastSent("savePDFPages")));
    EXPECT_EQ(js("String(" + lastSent("savePDFPages") + ".pages.length)"), "3");
}

TEST_F(PageTest, DropsBecomeItemsAndFilesOpenOrSave) {
    js(std::string("__floatDrop([{kind: 'file', name: 'a.png', mime: 'image/png', dataUrl: ") + kMakePng +
       "},"
       " {kind: 'text', text: ' hello '}, {kind: 'file', name: 'r.csv', mime: 'text/csv', dataUrl: "
       "'data:text/csv;base64,YSxi'},"
       " 42, null, {kind: 'file'}, {kind: 'image', dataUrl: 'x'}])");
    ASSERT_TRUE(waitFor("board.doc().items.length === 3"));
    EXPECT_EQ(js("board.doc().items.map((i) => i.type).sort().join()"), "file,image,note");
    js("__floatDrop('not a list'); __floatDrop(null)");
    js("__fileDrop('not a drop'); __fileDrop(null); __fileDrop({items: 'no'}); __fileDrop([])");
    EXPECT_EQ(js("String(board.doc().items.length)"), "3");
    // A file drop with a point that is not one lands in the middle of the view.
    js("__fileDrop({items: [{kind: 'text', text: 'from a drop'}, {kind: 'refused'}], x: 'left', y: null})");
    ASSERT_TRUE(waitFor("board.doc().items.length === 4"));
    js("board.load({items: board.doc().items.filter((i) => i.text !== 'from a drop')})");
    ASSERT_TRUE(waitFor("board.doc().items.length === 3"));

    js("board.select(board.doc().items.find((i) => i.type === 'file').id);"
       "document.getElementById('btn-openfile').click(); document.getElementById('btn-savefile').click()");
    EXPECT_EQ(js(lastSent("openFile") + ".name + ' ' + " + lastSent("openFile") + ".dataUrl"),
              "r.csv data:text/csv;base64,YSxi");
    EXPECT_EQ(js(lastSent("saveFile") + ".name"), "r.csv");
    // A note leaves as UTF-8 text.
    js("board.select(board.doc().items.find((i) => i.type === 'note').id); "
       "document.getElementById('btn-savefile').click()");
    EXPECT_EQ(js(lastSent("saveFile") + ".dataUrl"), "data:text/plain;base64,IGhlbGxvIA==");
}

TEST_F(PageTest, LanguageAndZoomSensitivity) {
    EXPECT_EQ(js("document.getElementById('btn-note').textContent"), "添加便签");
    js("__setLang('en')");
    EXPECT_EQ(js("document.getElementById('btn-note').textContent"), "Add note");
    EXPECT_EQ(js("String(!!" + lastSent("langChanged") + ")"), "false") << "the shell told us; no echo";
    // A code without a table (a hand-edited setting) reads English, as the menus do; what is no
    // language tag at all is refused.
    js("__setLang('zh-Hant'); __setLang('xx')");
    EXPECT_EQ(js("document.getElementById('btn-note').textContent"), "Add note");
    js("__setLang(\"de');\"); __setLang('')");
    EXPECT_EQ(js("board.lang()"), "xx");

    js("const s = document.getElementById('lang-select'); s.value = 'zh-Hans'; s.dispatchEvent(new Event('change'))");
    EXPECT_EQ(js(lastSent("langChanged") + ".lang"), "zh-Hans");
    EXPECT_EQ(js("document.getElementById('btn-note').textContent"), "添加便签");

    js("__menuAction('zoomsens:1.8')");
    EXPECT_EQ(js("String(board.sens())"), "1.8");
    js("const z = document.getElementById('sens-select'); z.value = '0.4'; z.dispatchEvent(new Event('change'))");
    EXPECT_EQ(js("String(" + lastSent("menuState") + ".sens)"), "0.4");
    js("__menuAction('zoomsens:9'); __menuAction('nonsense'); __menuAction('export:png:x')");
    EXPECT_EQ(js("String(board.sens())"), "0.4");
}

// The window title names the board's file once it is known: opened from it or confirmed saved to it.
TEST_F(PageTest, TitleNamesTheBoardsFile) {
    js("__setLang('en')");
    const std::string title = lastSent("setTitle") + ".title";
    const std::string doc = "JSON.stringify({items: [{type: 'note', x: 0, y: 0, w: 10, h: 10, text: 'a'}]})";
    js("board.addNote('x')");
    EXPECT_EQ(js(title), "TAVRIK — Untitled board •");
    js("__restoreNative(" + doc + "); window.__boardOpened && window.__boardOpened('trip \"1\".json')");
    EXPECT_EQ(js(title), "TAVRIK — trip \"1\".json");
    js("board.addNote('y')");
    EXPECT_EQ(js(title), "TAVRIK — trip \"1\".json •");
    js("saveJSON(); __saveResult({action: 'saveJSON', ok: true, name: 'other.json', reason: 'written'})");
    EXPECT_EQ(js(title), "TAVRIK — other.json");
    // A name that follows a document that could not be opened names nothing.
    js("__restoreNative('not a board'); __boardOpened('broken.json')");
    EXPECT_EQ(js(title), "TAVRIK — other.json");
}

TEST_F(PageTest, ShowsWhatTheShellReports) {
    // Image fetch: a scheme the shell would ignore is refused here, an error reply is shown.
    EXPECT_EQ(js("String(board.fetchImage('file:///etc/hosts'))"), "null");
    EXPECT_EQ(js("String(!!" + lastSent("fetchImage") + ")"), "false");
    js("window.__r = board.fetchImage('http://127.0.0.1:9/x.png')");
    js("__imageFetched({reqId: window.__r, error: '响应不是图片或超过 25MB'})");
    EXPECT_EQ(js("document.getElementById('fetch-status').textContent"), "响应不是图片或超过 25MB");
    // What is shown follows a language change.
    js("__setLang('en')");
    EXPECT_EQ(js("document.getElementById('fetch-status').textContent"), "Response is not an image or exceeds 25 MB");
    js("__setLang('zh-Hans')");
    js(std::string(
           "window.__r = board.fetchImage('http://127.0.0.1:9/y.png'); __imageFetched({reqId: window.__r, dataUrl: ") +
       kMakePng + "})");
    EXPECT_TRUE(waitFor("board.doc().items.some((i) => i.type === 'image' && i.name === 'y.png')"));

    // AI replies: refusal, HTTP error with the service's message, and an answer.
    struct Case {
        const char* reply;
        const char* shown;
    } cases[] = {
        {"{ok: false, error: '只允许 https 请求（本地 Ollama 可用 http://127.0.0.1）'}",
         "只允许 https 请求（本地 Ollama 可用 http://127.0.0.1）"},
        {"{ok: false, status: 401, text: '{\"error\":{\"message\":\"bad key\"}}'}", "HTTP 401: bad key"},
        {"{ok: true, status: 200, text: '{\"choices\":[{\"message\":{\"content\":\"42\"}}]}'}", "42"},
        {"{ok: true, status: 200, text: 'plain words'}", "plain words"},
        {"{ok: false, error: '未允许把密钥发送到这个主机'}", "未允许把密钥发送到这个主机"},
    };
    js("document.getElementById('ai-url').value = 'http://127.0.0.1:9/v1/chat/completions'");
    for (const auto& c : cases) {
        js("window.__r = board.sendAi()");
        js(std::string("__netReply(Object.assign({reqId: window.__r}, ") + c.reply + "))");
        EXPECT_EQ(js("board.aiReply()"), c.shown) << c.reply;
    }
    EXPECT_EQ(js(lastSent("netRequest") + ".auth.scheme"), "bearer");
    EXPECT_EQ(js("JSON.parse(" + lastSent("netRequest") + ".body).messages[0].role"), "user");
    // An answer streamed in many pieces shows while it arrives and ends whole.
    js("window.__r = board.sendAi(); for (let i = 0; i < 300; i++) __netChunk({reqId: window.__r, seq: i,"
       " status: 200, text: 'data: ' + JSON.stringify({choices: [{delta: {content: 'w' + i + ' '}}]}) + '\\n\\n'})");
    EXPECT_TRUE(waitFor("board.aiReply().startsWith('w0 w1 ')"));
    js("__netReply({reqId: window.__r, ok: true, status: 200, text: ''})");
    EXPECT_EQ(js("String(board.aiReply().endsWith('w298 w299 '))"), "true") << js("board.aiReply().slice(-40)");
    // A key to go in a header the user has not named is not sent without it.
    js("window.__sent.length = 0; document.getElementById('ai-provider').value = 'custom';"
       " document.getElementById('ai-header-name').value = ' '; document.getElementById('ai-key-id').value = 'k';"
       " board.sendAi()");
    EXPECT_EQ(js("String(!!" + lastSent("netRequest") + ")"), "false");
    EXPECT_EQ(js("board.aiReply()"), "请先填写请求头名称，密钥将放在该请求头中发送");
    js("__setLang('de')");
    EXPECT_EQ(js("board.aiReply()"), "Geben Sie den Namen des Headers ein, der den Schlüssel übermittelt");
    js("__setLang('zh-Hans')");
    js("document.getElementById('ai-header-name').value = 'X-Key'; window.__r = board.sendAi()");
    EXPECT_EQ(js(lastSent("netRequest") + ".auth.headerName"), "X-Key");
    js("__netReply({reqId: window.__r, ok: true, status: 200, text: 'plain words'})");
    js("__netReply({reqId: 'unknown', ok: true, text: 'stray'})");
    EXPECT_EQ(js("board.aiReply()"), "plain words");

    // Keys: the list asks for each key's hint and shows it; the stored value never stays in the page.
    js("document.getElementById('ai-key-value').value = 'sk-secret-123456'; board.storeKey()");
    EXPECT_EQ(js(lastSent("vaultSet") + ".value"), "sk-secret-123456");
    // Bound to the endpoint being set up (the custom provider has no service of its own).
    EXPECT_EQ(js("JSON.stringify(" + lastSent("vaultSet") + ".origins)"), R"(["http://127.0.0.1:9"])");
    EXPECT_EQ(js("document.getElementById('ai-key-value').value"), "");
    js("__vaultReply({reqId: board.refreshKeys(), keyId: '', ok: true, has: false, hint: '', backend: 'keychain', "
       "keys: "
       "['a', 'b']})");
    EXPECT_EQ(js("window.__sent.map((s) => JSON.parse(s)).filter((m) => m.action === 'vaultStatus').map((m) => "
                 "m.keyId).join()"),
              "a,b");
    js("__vaultReply({reqId: " + lastSent("vaultStatus") +
       ".reqId, keyId: 'b', ok: true, has: true, hint: 'sk-…3456', backend: 'keychain'})");
    EXPECT_EQ(js("document.querySelector('#keys-list li[data-key-id=\"b\"] .key-hint').textContent"), "sk-…3456");
}

}  // namespace
