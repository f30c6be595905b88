// SPDX-License-Identifier: GPL-3.0-or-later
// Open JSON… while the board has unsaved changes asks first, before any chooser: Save, Don't Save
// or Cancel, as the shell asks when a board is handed over from outside. The changes stay unless
// they are saved or the user lets them go.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/chooser_probe.h"
#include "support/gtk_support.h"
#include "support/real_page.h"

namespace {

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

TEST(OpenOverUnsaved, AsksToSaveBeforeReplacingUnsavedChanges) {
    testsupport::Shell shell("");
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    testsupport::TempDir docs;
    docs.write("other.json", R"({"format":"tavrik-board","version":1,"items":[
        {"type":"note","x":0,"y":0,"w":100,"h":50,"text":"opened"}]})");
    shell.eval("board.addNote('throw away'); 0");

    // Don't Save: the chooser, and the chosen board in place of this one.
    chooseOpen(shell);
    ASSERT_TRUE(shell.waitFor("document.querySelector('#drop-choice p')?.textContent === board.t('saveBeforeOpen')"));
    ASSERT_TRUE(answer(shell, "discard"));
    GtkWindow* chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(chooserprobe::accept(chooser, docs.file("other.json")));
    ASSERT_TRUE(shell.waitFor("board.doc().items.map((i) => i.text).join() === 'opened'")) << texts(shell);
    EXPECT_EQ(shell.eval("String(__quitHasContentU())"), "false");

    // Cancel: no chooser, the board as it was.
    shell.eval("board.addNote('mine'); 0");
    chooseOpen(shell);
    ASSERT_TRUE(answer(shell, ""));
    EXPECT_EQ(chooserprobe::find(), nullptr);
    EXPECT_EQ(texts(shell), "opened,mine");
    EXPECT_EQ(shell.eval("String(__quitHasContentU())"), "true");

    // Save, then cancel the save chooser: no Open chooser, and the work is still unsaved.
    chooseOpen(shell);
    ASSERT_TRUE(answer(shell, "save"));
    chooser = chooserprobe::waitFor();
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
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    auto openChooser = [] {
        GtkWindow* c = chooserprobe::find();
        return c && gtk_file_chooser_get_action(GTK_FILE_CHOOSER(c)) == GTK_FILE_CHOOSER_ACTION_OPEN;
    };
    G_GNUC_END_IGNORE_DEPRECATIONS
    ASSERT_TRUE(testsupport::runUntil(openChooser)) << "the Open chooser follows the save";
    std::ifstream saved(docs.file("mine.json"));
    std::string written((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    EXPECT_NE(written.find("\"mine\""), std::string::npos) << "the board is written before another opens";
    EXPECT_EQ(shell.eval("String(__quitHasContentU())"), "false");
    chooserprobe::cancel(chooserprobe::find());
    ASSERT_TRUE(testsupport::runUntil([] { return chooserprobe::find() == nullptr; }));
    EXPECT_EQ(texts(shell), "opened,mine");

    // A board without unsaved changes goes straight to the chooser.
    chooseOpen(shell);
    chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    EXPECT_EQ(shell.eval("String(!!document.getElementById('drop-choice'))"), "false");
    chooserprobe::cancel(chooser);
    ASSERT_TRUE(testsupport::runUntil([] { return chooserprobe::find() == nullptr; }));
}

}  // namespace
