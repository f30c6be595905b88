// SPDX-License-Identifier: GPL-3.0-or-later
// A board of a few megabytes goes from the application's own page to its file in pieces: in place,
// with an edit made while the pieces go out, and through the chooser when the user saves at quit.
// Either way the file holds exactly the board's text as it was when the save began.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/compose_quit.h"
#include "app/gtk_file_opener.h"
#include "gtk/webpolicy/alert_probe.h"
#include "menu/l10n.h"
#include "support/chooser_probe.h"
#include "support/file_text.h"
#include "support/gtk_support.h"
#include "support/json_text.h"
#include "support/real_page.h"

namespace {

using testsupport::slurp;

// A note of 1.2 M characters with a surrogate pair every other one, and a picture of 2.4 M: the
// page sends such a board in pieces, and a cut inside a pair would spoil the note.
constexpr const char* kBigBoard = R"JS(
  window.results = [];
  const tell = window.__saveResult;
  window.__saveResult = (r) => { window.results.push(r); tell(r); };
  board.load({ items: [
    { type: 'note', text: 'a😀'.repeat(400000), x: 0, y: 0, w: 220, h: 140 },
    { type: 'image', src: 'data:image/png;base64,' + 'iVBO'.repeat(600000), name: 'big.png', x: 300, y: 0, w: 200, h: 200 },
  ] });
  board.addNote('the edit');
  0)JS";

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    return names;
}

TEST(SavePieces, ABigBoardIsSavedInPlaceInPiecesAsItWasAtTheKey) {
    testsupport::Shell shell{""};
    app::FileOpener opener{shell.app()};
    testsupport::TempDir docs;
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    docs.write("board.json", R"({"format":"tavrik-board","version":1,"items":[]})");
    g_autoptr(GFile) file = g_file_new_for_path(docs.file("board.json").c_str());
    GFile* files[] = {file};
    app::FileOpener::onOpen(G_APPLICATION(shell.app().application()), files, 1, "", &opener);
    ASSERT_TRUE(testsupport::runUntil([&] {
        const char* title = gtk_window_get_title(shell.window());
        return title && std::string(title).find("board.json") != std::string::npos;
    }));
    shell.eval(kBigBoard);
    ASSERT_TRUE(shell.waitFor("board.isDirty()"));
    testsupport::recordMessages(shell);

    // Save, and an edit straight after the key, while the pieces go out.
    shell.eval(
        "window.expected = JSON.stringify(board.doc()); window.__menuAction('saveJSON'); board.addNote('too late'); 0");
    ASSERT_TRUE(shell.waitFor("results.length === 1", std::chrono::seconds(60)));
    EXPECT_EQ(shell.eval("JSON.stringify(results[0])"),
              R"({"action":"saveJSON","ok":true,"name":"board.json","reason":"written","inPlace":true})");
    std::string saved = slurp(docs.file("board.json"));
    EXPECT_EQ(saved, shell.eval("expected").value_or("(none)"));
    EXPECT_TRUE(testsupport::parseJson(saved));
    EXPECT_EQ(saved.find("too late"), std::string::npos);
    EXPECT_EQ(shell.eval("String(board.isDirty())"), "true");  // the edit is not saved yet
    EXPECT_EQ(namesIn(docs.path()), std::vector<std::string>{"board.json"});

    // In pieces, not as one message.
    EXPECT_EQ(shell.eval("__sent.map((t) => JSON.parse(t).action).filter((a) => a.startsWith('saveJSON'))"
                         ".filter((a, i, all) => a !== all[i - 1]).join()"),
              "saveJSONBegin,saveJSONChunk,saveJSONEnd");
    EXPECT_EQ(shell.eval("String(__sent.filter((t) => t.includes('saveJSONChunk')).length > 3)"), "true");
}

// Save at quit on a board with no file: the chooser comes at once, and the quit ends only once the
// whole board is in the chosen file.
TEST(SavePieces, SaveAtQuitWritesTheWholeBigBoardBeforeTheEnd) {
    testsupport::Shell shell{""};
    testsupport::TempDir dir;
    int terminated = 0;
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    app::installQuitConfirmation(
        shell.app(), {[](const std::string& key) { return menu::L10N::t(key, "en"); }, [&] { ++terminated; }, {}});
    shell.eval(kBigBoard);
    ASSERT_TRUE(shell.waitFor("board.isDirty()"));
    shell.eval("window.expected = JSON.stringify(board.doc()); 0");

    shell.app().requestQuit();
    GtkDialog* alert = alertprobe::waitFor();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 0);
    GtkWindow* chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(chooserprobe::accept(chooser, dir.file("at-quit.json")));
    ASSERT_TRUE(testsupport::runUntil([&] { return terminated > 0; }, std::chrono::seconds(60)));
    EXPECT_EQ(slurp(dir.file("at-quit.json")), shell.eval("expected").value_or("(none)"));
    EXPECT_EQ(shell.eval("String(board.isDirty())"), "false");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"at-quit.json"});
}

}  // namespace
