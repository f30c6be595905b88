// SPDX-License-Identifier: GPL-3.0-or-later
// A board read from a file reaches the application's own page whole, however it was written: text
// that once broke a script literal, escapes the page must keep as escapes, and a board big enough
// to go in many pieces. Opened, it saves back to the same document.
#include <gtest/gtest.h>

#include "files/opened_file.h"
#include "support/gtk_support.h"
#include "support/real_page.h"

using testsupport::lastSent;

namespace {

class BoardOpen : public ::testing::Test {
protected:
    void SetUp() override {
        // The page alone: its messages are recorded and no native part acts on them.
        shell.app().bridge()->commands().clear();
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        testsupport::recordMessages(shell);
        js("__setLang('en'); window.__progress = []; const shown = window.__openProgress;"
           " window.__openProgress = (name, f) => { __progress.push(name + ' ' + f); shown(name, f); }");
    }
    std::string js(const std::string& script) { return shell.eval(script).value_or("<error>"); }

    // Opens `name` from `dir` as the Open chooser does; true once the page has the board.
    bool open(const testsupport::TempDir& dir, const std::string& name) {
        bool handed = false;
        files::deliverToPage(shell.app().bridge(), files::readForPage(dir.file(name), files::Want::Board),
                             files::Failures::Report, [&] { handed = true; });
        return testsupport::runUntil([&] { return handed; }, std::chrono::seconds(60));
    }

    // The texts of the board shown (a note's text, a file's data URL), and of the board it saves,
    // each tested in the page against `expected` (a JavaScript array of strings).
    void expectNotes(const std::string& expected) {
        const std::string same = "((a, b) => a.length === b.length && a.every((t, i) => t === b[i]))";
        js("window.__want = " + expected);
        EXPECT_EQ(js("String(" + same + "(board.doc().items.map((i) => i.text ?? i.dataUrl), __want))"), "true");
        js("saveJSON()");
        ASSERT_TRUE(shell.waitFor(lastSent("saveJSON") + " || " + lastSent("saveJSONEnd")));
        EXPECT_EQ(
            js("String(" + same + "(JSON.parse(" + kSavedText + ").items.map((i) => i.text ?? i.dataUrl), __want))"),
            "true");
    }

    // The board's text as the page last sent it to be saved: in one message, or a big board's pieces
    // joined.
    static constexpr const char* kSavedText =
        "((m) => m.some((x) => x.action === 'saveJSON') ? m.filter((x) => x.action === 'saveJSON').pop().json :"
        " m.slice(m.map((x) => x.action).lastIndexOf('saveJSONBegin')).filter((x) => x.action === 'saveJSONChunk')"
        ".map((x) => x.data).join(''))(window.__sent.map((s) => JSON.parse(s)))";

    testsupport::Shell shell{""};
};

TEST_F(BoardOpen, TextThatBrokeScriptLiteralsArrivesAsWritten) {
    testsupport::TempDir dir;
    // Raw U+2028 and U+2029, CJK and astral text, a closing script tag, quotes; and escapes the file
    // keeps as escapes: lone surrogates, NUL, a line break.
    dir.write("odd.json",
              "{\"items\":[\n"
              " {\"type\":\"note\",\"x\":0,\"y\":0,\"w\":9,\"h\":9,\"text\":\"a\xE2\x80\xA8"
              "b\xE2\x80\xA9"
              "c 汉字 \xF0\x9F\x99\x82 </script> '\\\" \\\\\"},\n"
              " {\"type\":\"note\",\"x\":0,\"y\":0,\"w\":9,\"h\":9,\"text\":\"\\ud800 \\udfff \\u0000 \\n end\"}]}");
    ASSERT_TRUE(open(dir, "odd.json"));
    EXPECT_EQ(js("document.getElementById('toast').textContent"), "Board opened");
    expectNotes(R"(['a\u2028b\u2029c 汉字 \u{1F642} </script> \'" \\', '\ud800 \udfff \u0000 \n end'])");
    EXPECT_EQ(js("__progress.length"), "0") << "a small board is one call, with no sign of progress";
}

TEST_F(BoardOpen, ABoardOfManyPiecesIsPutBackTogetherWhole) {
    testsupport::TempDir dir;
    // 17 MiB of text whose characters of every length fall across the pieces' cuts, in a file item
    // (the page shows its name, not its bytes).
    const std::string unit =
        "汉\xF0\x9F\x99\x82"
        "a\xE2\x80\xA8\\\"";  // 3 + 4 + 1 + 3 + 2 bytes
    const std::size_t repeats = 17u * 1024u * 1024u / unit.size();
    std::string text;
    text.reserve(repeats * unit.size());
    for (std::size_t i = 0; i < repeats; ++i) text += unit;
    dir.write("big.json",
              "{\"items\":[{\"type\":\"file\",\"name\":\"t\",\"x\":0,\"y\":0,\"w\":9,\"h\":9,\"dataUrl\":\"data:," +
                  text + "\"},{\"type\":\"note\",\"x\":20,\"y\":0,\"w\":9,\"h\":9,\"text\":\"last\"}]}");
    ASSERT_TRUE(open(dir, "big.json"));
    EXPECT_EQ(js("document.getElementById('toast').textContent"), "Board opened");
    expectNotes("['data:,' + '汉\\u{1F642}a\\u2028\"'.repeat(" + std::to_string(repeats) + "), 'last']");
    // The page was told how far the open had come, in order, and never after the board.
    EXPECT_EQ(js("String(__progress.length >= 8 && __progress[0] === 'big.json 0' && __progress.every((p, i) =>"
                 " i === 0 || Number(p.split(' ')[1]) > Number(__progress[i - 1].split(' ')[1])))"),
              "true")
        << js("__progress.join(',')");
    EXPECT_EQ(js("String(Object.getOwnPropertySymbols(globalThis).some((s) => s.description === 'tavrik.board' &&"
                 " globalThis[s].size > 0))"),
              "false")
        << "no piece is left behind in the page";
}

}  // namespace
