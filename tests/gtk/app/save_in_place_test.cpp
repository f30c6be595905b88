// SPDX-License-Identifier: GPL-3.0-or-later
// A board opened from a file is saved back into that file: the application's own page, Save as
// the menu and Ctrl+S send it, and no chooser in between.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/gtk_file_opener.h"
#include "support/chooser_probe.h"
#include "support/file_text.h"
#include "support/gtk_support.h"
#include "support/real_page.h"

namespace {

using testsupport::slurp;

TEST(SaveInPlace, AnOpenedBoardIsSavedIntoItsOwnFileWithNoChooser) {
    testsupport::Shell shell{""};
    app::FileOpener opener{shell.app()};
    testsupport::TempDir docs;
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    auto board = shell.eval(
        "board.addNote('from the file');"
        "const text = JSON.stringify(board.doc()); board.load({items: []}); text");
    ASSERT_TRUE(board);
    docs.write("board.json", *board);

    // `tavrik board.json` handed to the running window.
    g_autoptr(GFile) file = g_file_new_for_path(docs.file("board.json").c_str());
    GFile* files[] = {file};
    app::FileOpener::onOpen(G_APPLICATION(shell.app().application()), files, 1, "", &opener);
    ASSERT_TRUE(shell.waitFor("board.doc().items.some((i) => i.text === 'from the file') && !board.isDirty()"));

    // Edit, then Save as the menu sends it: written in place, the page clean, no chooser shown.
    shell.eval("board.addNote('the edit'); 0");
    ASSERT_TRUE(shell.waitFor("board.isDirty()"));
    shell.eval("window.__menuAction('saveJSON'); 0");
    bool chooserShown = false;
    ASSERT_TRUE(testsupport::runUntil([&] {
        chooserShown = chooserShown || chooserprobe::find() != nullptr;
        return chooserShown || slurp(docs.file("board.json")).find("the edit") != std::string::npos;
    }));
    EXPECT_FALSE(chooserShown);
    ASSERT_TRUE(shell.waitFor("!board.isDirty()"));
    std::string saved = slurp(docs.file("board.json"));
    EXPECT_NE(saved.find("from the file"), std::string::npos);
    EXPECT_NE(saved.find("the edit"), std::string::npos);
    // Nothing but the board is left in its folder (the write's temporary file is gone).
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(docs.path())) ++entries;
    EXPECT_EQ(entries, 1);
}

}  // namespace
