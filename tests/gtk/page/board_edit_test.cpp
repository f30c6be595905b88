// SPDX-License-Identifier: GPL-3.0-or-later
// The board as people edit it, in the application's own page under real WebKit: undo and redo,
// drops the page takes itself, the files it hands out and the menu state it reports.
#include <gtest/gtest.h>

#include "support/gtk_support.h"
#include "support/real_page.h"

using testsupport::lastSent;

namespace {

class BoardEdit : public ::testing::Test {
protected:
    void SetUp() override {
        shell.app().bridge()->commands().clear();
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        testsupport::recordMessages(shell);
        js("board.load({items: []}); __setLang('en'); window.__sent.length = 0");
    }
    std::string js(const std::string& script) { return shell.eval(script).value_or("<error>"); }
    bool waitFor(const std::string& script) { return shell.waitFor(script); }
    // The board without ids (redone adds keep theirs, but a reload would not).
    std::string doc() { return js("JSON.stringify(board.doc().items.map(({id, ...rest}) => rest))"); }
    void key(const char* k, bool shift = false, const char* target = "document.body") {
        js(std::string("(") + target + ").dispatchEvent(new KeyboardEvent('keydown', {key: '" + k +
           "', ctrlKey: true, shiftKey: " + (shift ? "true" : "false") + ", bubbles: true, cancelable: true}))");
    }

    testsupport::Shell shell{""};
};

const char* kPng =
    "(() => { const c = document.createElement('canvas'); c.width = 40; c.height = 20;"
    " c.getContext('2d').fillRect(0, 0, 40, 20); return c.toDataURL('image/png'); })()";

// A drop event as WebKit fires it, at window point (x, y), with the given DataTransfer script.
std::string dropAt(int x, int y, const std::string& fill) {
    return "(() => { const dt = new DataTransfer(); " + fill + "; const target = document.elementFromPoint(" +
           std::to_string(x) + ", " + std::to_string(y) +
           ") || document.body; const e = new DragEvent('drop', {dataTransfer: dt, clientX: " + std::to_string(x) +
           ", clientY: " + std::to_string(y) +
           ", bubbles: true, cancelable: true}); target.dispatchEvent(e); return e.defaultPrevented; })()";
}

TEST_F(BoardEdit, UndoAndRedoWalkBackAndForthThroughEveryKindOfEdit) {
    std::vector<std::string> states{doc()};
    auto step = [&](const std::string& script) {
        js(script);
        states.push_back(doc());
        ASSERT_NE(states.back(), states[states.size() - 2]) << script << " changed nothing";
    };
    step("window.__a = board.addNote('first', 300, 300)");
    step("window.__b = board.addNote('second', 700, 300)");
    // Moving and resizing as the pointer code ends them: the item changes, then the board is told.
    step("{ const it = boardView.find(__a); it.x += 50; it.y -= 20; boardView.onChange('move'); }");
    step("{ const it = boardView.find(__b); it.w = 300; it.h = 90; boardView.onChange('resize'); }");
    // A text edit, through the note's own editor: double-click, type, leave.
    step(
        "{ boardView.editNote(__a); const t = boardView.elementOf(__a).querySelector('.text');"
        " t.innerText = 'first, edited'; t.blur(); }");
    step("board.remove(__b)");
    // A drop of two links is one step; so are all pages of one template import.
    js(dropAt(500, 500, "dt.setData('text/uri-list', 'https://127.0.0.1/a\\r\\nhttps://127.0.0.1/b')"));
    ASSERT_TRUE(waitFor("board.doc().items.length === 3"));
    states.push_back(doc());
    js(std::string("window.__req = board.importPdf('t.pdf', 'data:application/pdf;base64,JVBERi0=');"
                   "{ const p = ") +
       kPng + "; __pdfPageU(__req, 0, 2, p); __pdfPageU(__req, 1, 2, p); __pdfRendered(__req); }");
    ASSERT_TRUE(waitFor("board.doc().items.length === 5"));
    states.push_back(doc());

    for (std::size_t i = states.size() - 1; i > 0; --i) {
        key("z");
        EXPECT_EQ(doc(), states[i - 1]) << "undo back to state " << i - 1;
    }
    key("z");  // nothing left to undo
    EXPECT_EQ(doc(), states[0]);
    for (std::size_t i = 1; i < states.size(); ++i) {
        key(i % 2 ? "z" : "y", i % 2 == 1);  // Ctrl+Shift+Z and Ctrl+Y both redo
        EXPECT_EQ(doc(), states[i]) << "redo to state " << i;
    }
    // A new edit after undoing drops what could have been redone.
    key("z");
    js("board.addNote('new branch', 0, 0)");
    key("y");
    EXPECT_EQ(js("String(board.doc().items.some((i) => i.text === 'new branch'))"), "true");
    EXPECT_EQ(js("String(board.doc().items.filter((i) => i.type === 'paper').length)"), "0");
}

TEST_F(BoardEdit, AHundredStepsUndoAndTextFieldsKeepTheirOwnUndo) {
    js("for (let i = 0; i < 120; i++) board.addNote('n' + i, i * 10, 0)");
    for (int i = 0; i < 100; ++i) key("z");
    EXPECT_EQ(js("String(board.doc().items.length)"), "20");

    // Ctrl+Z typed in a text field is the field's: the board keeps its items.
    js("document.getElementById('ai-prompt').focus()");
    key("z", false, "document.getElementById('ai-prompt')");
    EXPECT_EQ(js("String(board.doc().items.length)"), "20");
    // Opening a board starts a new history.
    js("__restoreNative(JSON.stringify({items: [{type: 'note', x: 0, y: 0, w: 10, h: 10, text: 'opened'}]}))");
    key("z");
    EXPECT_EQ(js("board.doc().items.map((i) => i.text).join()"), "opened");
}

TEST_F(BoardEdit, DropsOfFilesTextAndLinksLandWhereDroppedAndNeverNavigate) {
    const std::string href = js("location.href");
    // Files side by side from the drop point: a picture, a text file; one too large is refused.
    EXPECT_EQ(js(dropAt(400, 300,
                        std::string("{ const png = ") + kPng +
                            "; const bin = atob(png.split(',')[1]); const b = new Uint8Array(bin.length);"
                            " for (let i = 0; i < b.length; i++) b[i] = bin.charCodeAt(i);"
                            " dt.items.add(new File([b], 'red.png', {type: 'image/png'}));"
                            " dt.items.add(new File(['hello'], 'notes.txt', {type: 'text/plain'}));"
                            " dt.items.add(new File([new Uint8Array(26214401)], 'huge.bin')); }")),
              "true");
    ASSERT_TRUE(waitFor("board.doc().items.length === 2"));
    EXPECT_EQ(js("String(/huge\\.bin.*25\\sMB/.test(document.getElementById('toast').textContent))"), "true");
    EXPECT_EQ(js("JSON.stringify(board.doc().items.map((i) => [i.type, i.name, i.mime || '']))"),
              R"([["image","red.png",""],["file","notes.txt","text/plain"]])");
    EXPECT_EQ(js("{ const [a, b] = board.doc().items; String(a.x + a.w < b.x && Math.abs((a.y + a.h / 2) - (b.y + "
                 "b.h / 2)) < 1) }"),
              "true")
        << "side by side, centred on the drop line";
    EXPECT_EQ(js("board.doc().items[1].dataUrl"), "data:text/plain;base64,aGVsbG8=");

    // HTML becomes its text (nothing in it runs), a link a note showing it.
    js("board.load({items: []})");
    js(dropAt(300, 300,
              "dt.setData('text/html', '<p>Hello <b>board</b></p><script>window.__ran = 1</script><img "
              "src=x onerror=\"window.__ran = 2\">'); dt.setData('text/plain', 'Hello board')"));
    js(dropAt(300, 500,
              "dt.setData('text/uri-list', '# comment\\r\\nhttps://127.0.0.1/page'); "
              "dt.setData('text/plain', 'https://127.0.0.1/page')"));
    ASSERT_TRUE(waitFor("board.doc().items.length === 2"));
    EXPECT_EQ(js("JSON.stringify(board.doc().items.map((i) => i.text))"),
              R"(["Hello board","https://127.0.0.1/page"])");
    EXPECT_EQ(js("String(window.__ran)"), "undefined");

    // A PDF asks: as a file it is a file item; as a template it goes the Import PDF template path.
    auto dropPdf = [&] {
        js(dropAt(300, 300, "dt.items.add(new File(['%PDF-1.4'], 'plan.pdf', {type: 'application/pdf'}))"));
        return waitFor("!!document.querySelector('#drop-choice button')");
    };
    js("board.load({items: []}); window.__sent.length = 0");
    ASSERT_TRUE(dropPdf());
    js("document.querySelector('#drop-choice [data-answer=file]').click()");
    ASSERT_TRUE(waitFor("board.doc().items.length === 1"));
    EXPECT_EQ(js("board.doc().items[0].mime"), "application/pdf");
    ASSERT_TRUE(dropPdf());
    js("document.querySelector('#drop-choice [data-answer=template]').click()");
    ASSERT_TRUE(waitFor(lastSent("renderPDF")));
    EXPECT_EQ(js(lastSent("renderPDF") + ".name + '|' + " + lastSent("renderPDF") + ".dataUrl"),
              "plan.pdf|data:application/pdf;base64,JVBERi0xLjQ=");
    ASSERT_TRUE(dropPdf());
    js("document.querySelector('#drop-choice [data-answer=\"\"]').click()");  // cancel
    EXPECT_EQ(js("String(board.doc().items.length)"), "1");

    EXPECT_EQ(js("location.href"), href);
}

TEST_F(BoardEdit, SavedFilesHaveUniqueNamesAndBase64Data) {
    js(std::string("{ const p = ") + kPng +
       "; board.load({items: ["
       "{type: 'paper', x: 0, y: 0, w: 10, h: 10, name: 'plan.pdf 3', src: p.replace('image/png', 'image/jpeg')},"
       "{type: 'paper', x: 0, y: 0, w: 10, h: 10, name: 'plan.pdf 12', src: p},"
       "{type: 'image', x: 0, y: 0, w: 10, h: 10, name: 'pic.svg', src: "
       "'data:image/svg+xml,%3Csvg xmlns=%22http://www.w3.org/2000/svg%22%3E%E2%9C%93</svg>'},"
       "{type: 'file', x: 0, y: 0, w: 10, h: 10, name: 'a.txt', mime: 'text/plain', dataUrl: 'data:,caf\u00e9 50%25'},"
       "]}); }");
    std::string ids = js("board.doc().items.map((i) => i.id).join()");
    struct Case {
        int index;
        const char* name;
        const char* text;  // the decoded bytes, or empty to skip
    } cases[] = {
        {0, "plan-p3.jpg", ""},
        {1, "plan-p12.png", ""},
        {2, "pic.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\">\u2713</svg>"},
        {3, "a.txt", "caf\u00e9 50%"},
    };
    for (const auto& c : cases) {
        js("window.__sent.length = 0; board.select(board.doc().items[" + std::to_string(c.index) +
           "].id); document.getElementById('btn-savefile').click()");
        ASSERT_TRUE(waitFor(lastSent("saveFile"))) << c.name;
        EXPECT_EQ(js(lastSent("saveFile") + ".name"), c.name);
        EXPECT_EQ(js("String(/^data:[^,]*;base64,/.test(" + lastSent("saveFile") + ".dataUrl))"), "true") << c.name;
        if (*c.text) {
            EXPECT_EQ(js("new TextDecoder().decode(Uint8Array.from(atob(" + lastSent("saveFile") +
                         ".dataUrl.split(',')[1]), (ch) => ch.charCodeAt(0)))"),
                      c.text);
        }
    }
}

TEST_F(BoardEdit, LanguageChangeReportsTheSensitivityAgain) {
    js("const s = document.getElementById('sens-select'); s.value = '1.8'; s.dispatchEvent(new Event('change'))");
    for (const char* lang : {"zh-Hans", "fr"}) {
        js("window.__sent.length = 0");
        js(std::string("__setLang('") + lang + "')");
        ASSERT_TRUE(waitFor(lastSent("menuState"))) << lang;
        EXPECT_EQ(js("String(" + lastSent("menuState") + ".sens)"), "1.8") << lang;
    }
    // Chosen in the page's own list, too.
    js("window.__sent.length = 0; const l = document.getElementById('lang-select'); l.value = 'en';"
       " l.dispatchEvent(new Event('change'))");
    // The window title follows the language too ("Tableau sans titre" → "Untitled board").
    EXPECT_EQ(js("window.__sent.map((m) => JSON.parse(m).action).join()"), "setTitle,menuState,langChanged");
}

}  // namespace

namespace {

// The shell passes the desktop's dark preference on to GTK; the page's dark style follows it.
TEST_F(BoardEdit, DarkPreferenceOfGtkReachesThePage) {
    GtkSettings* settings = gtk_settings_get_default();
    g_object_set(settings, "gtk-application-prefer-dark-theme", TRUE, nullptr);
    EXPECT_TRUE(waitFor("matchMedia('(prefers-color-scheme: dark)').matches"));
    EXPECT_EQ(js("getComputedStyle(document.body).backgroundColor"), "rgb(30, 31, 34)");
    g_object_set(settings, "gtk-application-prefer-dark-theme", FALSE, nullptr);
    EXPECT_TRUE(waitFor("!matchMedia('(prefers-color-scheme: dark)').matches"));
}

// The board is clean exactly when undo and redo have brought it back to what the shell last confirmed
// written: the title loses its mark and quitting does not ask; stepping away marks it again.
TEST_F(BoardEdit, UndoBackToTheSavedBoardIsClean) {
    auto clean = [&] {
        return js("String(!board.isDirty() && !__quitHasContentU() && !" + lastSent("setTitle") +
                  ".title.endsWith('•'))");
    };
    // The shell's answer to the page's last JSON save.
    auto written = [&](const char* name, bool inPlace) {
        js(std::string("__saveResult({action: 'saveJSON', ok: true, reason: 'written', name: '") + name + "'" +
           (inPlace ? ", inPlace: true" : "") + "}); 0");
    };
    js("window.__a = board.addNote('saved', 300, 300); 0");
    js("__menuAction('saveJSON'); 0");
    EXPECT_EQ(js(lastSent("saveJSON") + ".to"), "document");
    written("b.json", true);
    ASSERT_TRUE(waitFor("!board.isDirty()"));
    EXPECT_EQ(clean(), "true");
    EXPECT_EQ(js("$('toast').textContent"), "Saved") << "written in place: no name to tell";

    struct Step {
        const char* script;
        bool clean;
    } steps[] = {
        {"board.addNote('later')", false},
        {"__menuAction('undo')", true},
        {"__menuAction('redo')", false},
        {"__menuAction('undo')", true},
        {"__menuAction('undo')", false},  // before the save
        {"__menuAction('redo')", true},
        // An edit, then its undo: back at the saved board again.
        {"{ const it = boardView.find(__a); it.x += 40; boardView.onChange('move'); }", false},
        {"__menuAction('undo')", true},
    };
    for (const auto& s : steps) {
        js(std::string(s.script) + "; 0");
        EXPECT_EQ(clean(), s.clean ? "true" : "false") << s.script;
    }

    // A save sent, then an edit before it is confirmed: the board stays unsaved until the edit is
    // undone. Save As asks for a chooser and names the file it wrote.
    js("board.addNote('more'); __menuAction('saveAs'); 0");
    EXPECT_EQ(js(lastSent("saveJSON") + ".to"), "choose");
    js("board.addNote('meanwhile'); 0");
    written("copy.json", false);
    EXPECT_EQ(js("$('toast').textContent"), "Saved as copy.json");
    EXPECT_EQ(clean(), "false");
    js("__menuAction('undo'); 0");
    EXPECT_EQ(clean(), "true");

    // File ▸ New (once the shell has asked): an empty, clean, untitled board, and the page says so.
    js("board.addNote('x'); 0");
    EXPECT_EQ(js("String(__menuAction('new'))"), "true");
    EXPECT_EQ(js("board.doc().items.length"), "0");
    EXPECT_EQ(clean(), "true");
    EXPECT_EQ(js(lastSent("setTitle") + ".title"), "TAVRIK — " + js("board.t('untitled')"));
}

}  // namespace
