// Opening a board while the one on screen has unsaved changes asks first, through the shell's own
// confirm dialog, and keeps the changes unless the user lets them go.
#include <gtest/gtest.h>

#include "gtk/webpolicy/alert_probe.h"
#include "support/gtk_support.h"
#include "support/real_page.h"

namespace {

const char* kOpen =
    "__restoreNative(JSON.stringify({format: 'tavrik-board', version: 1, items: "
    "[{type: 'note', x: 0, y: 0, w: 100, h: 50, text: 'opened'}]}))";

// Starts the open without waiting for it: it waits on the dialog.
void openAsync(testsupport::Shell& shell) {
    webkit_web_view_evaluate_javascript(shell.webView(), kOpen, -1, nullptr, nullptr, nullptr, nullptr, nullptr);
}

std::string texts(testsupport::Shell& shell) {
    return shell.eval("board.doc().items.map((i) => i.text).join()").value_or("?");
}

TEST(OpenOverUnsaved, AsksBeforeDroppingUnsavedChanges) {
    testsupport::Shell shell("");
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    shell.eval("board.addNote('mine'); 0");
    const std::string asked = shell.eval("board.t('replaceUnsaved')").value_or("?");

    openAsync(shell);
    GtkDialog* dialog = alertprobe::waitFor();
    ASSERT_TRUE(dialog);
    std::string question = alertprobe::text(dialog) + alertprobe::text(dialog, "secondary-text");
    EXPECT_NE(question.find(asked), std::string::npos) << question;
    alertprobe::press(dialog, 1);  // Cancel
    ASSERT_TRUE(alertprobe::waitGone());
    EXPECT_EQ(texts(shell), "mine");
    EXPECT_EQ(shell.eval("String(__quitHasContentU())"), "true");

    openAsync(shell);
    dialog = alertprobe::waitFor();
    ASSERT_TRUE(dialog);
    alertprobe::press(dialog, 0);  // OK
    ASSERT_TRUE(shell.waitFor("board.doc().items.map((i) => i.text).join() === 'opened'")) << texts(shell);
    EXPECT_EQ(shell.eval("String(__quitHasContentU())"), "false");

    // A board without unsaved changes is replaced without a question.
    shell.eval(std::string(kOpen).replace(std::string(kOpen).find("'opened'"), 8, "'again'") + "; 0");
    EXPECT_EQ(texts(shell), "again");
    EXPECT_EQ(alertprobe::find(), nullptr);
}

}  // namespace
