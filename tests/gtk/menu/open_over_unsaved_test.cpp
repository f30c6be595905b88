// Open JSON… while the board has unsaved changes asks first, through the shell's own confirm
// dialog, before any chooser: the changes stay unless the user lets them go.
#include <gtest/gtest.h>

#include "gtk/webpolicy/alert_probe.h"
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

TEST(OpenOverUnsaved, AsksBeforeDroppingUnsavedChanges) {
    testsupport::Shell shell("");
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    testsupport::TempDir docs;
    docs.write("other.json", R"({"format":"tavrik-board","version":1,"items":[
        {"type":"note","x":0,"y":0,"w":100,"h":50,"text":"opened"}]})");
    shell.eval("board.addNote('mine'); 0");
    const std::string asked = shell.eval("board.t('replaceUnsaved')").value_or("?");

    // Cancel: no chooser, the board as it was.
    chooseOpen(shell);
    GtkDialog* dialog = alertprobe::waitFor();
    ASSERT_TRUE(dialog);
    std::string question = alertprobe::text(dialog) + alertprobe::text(dialog, "secondary-text");
    EXPECT_NE(question.find(asked), std::string::npos) << question;
    alertprobe::press(dialog, 1);
    ASSERT_TRUE(alertprobe::waitGone());
    EXPECT_EQ(shell.eval("0"), "0");  // the page has run past the question
    EXPECT_EQ(chooserprobe::find(), nullptr);
    EXPECT_EQ(texts(shell), "mine");
    EXPECT_EQ(shell.eval("String(__quitHasContentU())"), "true");

    // OK: the chooser, and the chosen board in place of this one.
    chooseOpen(shell);
    dialog = alertprobe::waitFor();
    ASSERT_TRUE(dialog);
    alertprobe::press(dialog, 0);
    GtkWindow* chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(chooserprobe::accept(chooser, docs.file("other.json")));
    ASSERT_TRUE(shell.waitFor("board.doc().items.map((i) => i.text).join() === 'opened'")) << texts(shell);
    EXPECT_EQ(shell.eval("String(__quitHasContentU())"), "false");

    // A board without unsaved changes goes straight to the chooser.
    chooseOpen(shell);
    chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    EXPECT_EQ(alertprobe::find(), nullptr);
    chooserprobe::cancel(chooser);
    ASSERT_TRUE(testsupport::runUntil([] { return chooserprobe::find() == nullptr; }));
}

}  // namespace
