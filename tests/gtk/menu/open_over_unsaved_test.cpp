// SPDX-License-Identifier: GPL-3.0-or-later
// Open JSON… while the board has unsaved changes asks first, before any chooser: Save, Don't Save
// or Cancel, as the shell asks when a board is handed over from outside. The changes stay unless
// they are saved or the user lets them go.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/chooser_probe.h"
#include "support/file_text.h"
#include "support/gtk_support.h"
#include "support/real_page.h"

namespace {

using testsupport::slurp;

std::string texts(testsupport::Shell& shell) {
    return shell.eval("board.doc().items.map((i) => i.text).join()").value_or("?");
}

void chooseOpen(testsupport::Shell& shell) {
    g_action_group_activate_action(G_ACTION_GROUP(shell.app().application()), "tag-1", nullptr);
}

// Waits for the page's question and answers it: "save", "discard", or "" to cancel.
bool answer(testsupport::Shell& shell, const std::string& choice) {
    const std::string button = "document.querySelector('#drop-choice button[data-answer=\"" + choice + "\"]')";
    if (!shell.waitFor("!!" + button)) return false;
    return shell.eval(button + ".click(); 1") == "1";
}

bool isOpenChooser() {
    GtkWindow* c = chooserprobe::find();
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    return c && gtk_file_chooser_get_action(GTK_FILE_CHOOSER(c)) == GTK_FILE_CHOOSER_ACTION_OPEN;
    G_GNUC_END_IGNORE_DEPRECATIONS
}

void cancelChooserAndWait() {
    chooserprobe::cancel(chooserprobe::find());
    ASSERT_TRUE(testsupport::runUntil([] { return chooserprobe::find() == nullptr; }));
}

TEST(OpenOverUnsaved, AsksToSaveBeforeReplacingUnsavedChanges) {
    testsupport::Shell shell("");
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    testsupport::TempDir docs;
    docs.write("other.json", R"({"format":"tavrik-board","version":1,"items":[
        {"type":"note","x":0,"y":0,"w":100,"h":50,"text":"opened"}]})");
    shell.eval("board.addNote('mine'); 0");

    // Cancel: no chooser, the board as it was.
    chooseOpen(shell);
    ASSERT_TRUE(shell.waitFor("document.querySelector('#drop-choice p')?.textContent === board.t('saveBeforeOpen')"));
    ASSERT_TRUE(answer(shell, ""));
    EXPECT_EQ(chooserprobe::find(), nullptr);
    EXPECT_EQ(texts(shell), "mine");
    EXPECT_EQ(shell.eval("String(__quitHasContentU())"), "true");

    // Save, then cancel the save chooser (the board has no file yet): no Open chooser, and the
    // work is still unsaved.
    chooseOpen(shell);
    ASSERT_TRUE(answer(shell, "save"));
    GtkWindow* chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    chooserprobe::cancel(chooser);
    ASSERT_TRUE(testsupport::runUntil([] { return chooserprobe::find() == nullptr; }));
    EXPECT_FALSE(testsupport::runUntil([] { return chooserprobe::find() != nullptr; }, std::chrono::milliseconds(500)))
        << "no Open chooser after a cancelled save";
    EXPECT_EQ(shell.eval("String(__quitHasContentU())"), "true");

    // Save: the board is written, and only then does the Open chooser come.
    chooseOpen(shell);
    ASSERT_TRUE(answer(shell, "save"));
    chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(chooserprobe::accept(chooser, docs.file("mine.json")));
    ASSERT_TRUE(testsupport::runUntil(isOpenChooser)) << "the Open chooser follows the save";
    EXPECT_NE(slurp(docs.file("mine.json")).find("\"mine\""), std::string::npos)
        << "the board is written before another opens";
    EXPECT_EQ(shell.eval("String(__quitHasContentU())"), "false");
    cancelChooserAndWait();
    EXPECT_EQ(texts(shell), "mine");

    // Don't Save: the chooser, and the chosen board in place of this one.
    shell.eval("board.addNote('throw away'); 0");
    chooseOpen(shell);
    ASSERT_TRUE(answer(shell, "discard"));
    chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(chooserprobe::accept(chooser, docs.file("other.json")));
    ASSERT_TRUE(shell.waitFor("board.doc().items.map((i) => i.text).join() === 'opened'")) << texts(shell);
    EXPECT_EQ(shell.eval("String(__quitHasContentU())"), "false");
    EXPECT_EQ(slurp(docs.file("mine.json")).find("throw away"), std::string::npos);

    // Save, for a board that has its own file: written in place with no save chooser, then Open.
    shell.eval("board.addNote('more'); 0");
    chooseOpen(shell);
    ASSERT_TRUE(answer(shell, "save"));
    ASSERT_TRUE(testsupport::runUntil(isOpenChooser)) << "the Open chooser follows the save in place";
    EXPECT_NE(slurp(docs.file("other.json")).find("\"more\""), std::string::npos);
    EXPECT_EQ(shell.eval("String(__quitHasContentU())"), "false");
    cancelChooserAndWait();

    // A board without unsaved changes goes straight to the chooser.
    chooseOpen(shell);
    chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    EXPECT_EQ(shell.eval("String(!!document.getElementById('drop-choice'))"), "false");
    chooserprobe::cancel(chooser);
    ASSERT_TRUE(testsupport::runUntil([] { return chooserprobe::find() == nullptr; }));
}

}  // namespace
