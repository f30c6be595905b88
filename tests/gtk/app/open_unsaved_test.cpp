// SPDX-License-Identifier: GPL-3.0-or-later
// `tavrik board.json` handed to the running window while its board has unsaved work: the user is
// asked first, with the application's own page, alert and save chooser, and each answer does what
// it says.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/gtk_file_opener.h"
#include "gtk/webpolicy/alert_probe.h"
#include "menu/l10n.h"
#include "support/chooser_probe.h"
#include "support/file_text.h"
#include "support/gtk_support.h"
#include "support/real_page.h"

namespace {

using testsupport::slurp;

class OpenWithUnsavedWork : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        // The board a second start hands over: one note, written by the page itself.
        auto board = shell.eval(
            "board.addNote('from the file');"
            "const text = JSON.stringify(board.doc()); board.load({items: []}); text");
        ASSERT_TRUE(board);
        docs.write("board.json", *board);
        ASSERT_TRUE(shell.waitFor("board.doc().items.length === 0"));
    }

    // Unsaved work on the board: one note with this text.
    void editBoard(const std::string& text) {
        shell.eval("board.load({items: []}); board.addNote(" + json::write(json::Value(text)).value_or("''") + "); 0");
        ASSERT_TRUE(shell.waitFor("board.isDirty()"));
    }

    // What GApplication's "open" hands the running instance for `tavrik board.json`.
    void openFromOutside() {
        g_autoptr(GFile) file = g_file_new_for_path(docs.file("board.json").c_str());
        GFile* files[] = {file};
        app::FileOpener::onOpen(G_APPLICATION(shell.app().application()), files, 1, "", &opener);
    }

    GtkDialog* waitForQuestion() {
        GtkDialog* alert = alertprobe::waitFor();
        if (!alert) return nullptr;
        EXPECT_EQ(alertprobe::text(alert), menu::L10N::t("打开前保存画布？"));
        EXPECT_EQ(alertprobe::buttonLabels(alert),
                  (std::vector<std::string>{menu::L10N::t("保存"), menu::L10N::t("不保存"), menu::L10N::t("取消")}));
        return alert;
    }

    std::string notes() { return shell.eval("board.doc().items.map((i) => i.text).join('|')").value_or("(no answer)"); }

    // Everything already sent to the page has run there: no page call is still on its way.
    void settle() {
        testsupport::runUntil([] { return !g_main_context_pending(nullptr); }, std::chrono::seconds(2));
        shell.eval("0");
    }

    testsupport::Shell shell{""};
    app::FileOpener opener{shell.app()};
    testsupport::TempDir docs;
};

TEST_F(OpenWithUnsavedWork, CancelKeepsTheBoardAndOpensNothing) {
    editBoard("mine");
    openFromOutside();
    GtkDialog* alert = waitForQuestion();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 2);
    ASSERT_TRUE(alertprobe::waitGone());
    settle();
    EXPECT_EQ(notes(), "mine");
    EXPECT_EQ(shell.eval("String(board.isDirty())"), "true");
}

TEST_F(OpenWithUnsavedWork, DontSaveOpensTheFileInPlaceOfTheBoard) {
    editBoard("mine");
    openFromOutside();
    GtkDialog* alert = waitForQuestion();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 1);
    ASSERT_TRUE(shell.waitFor("board.doc().items.some((i) => i.text === 'from the file')"));
    EXPECT_EQ(notes(), "from the file");
    EXPECT_EQ(shell.eval("String(board.isDirty())"), "false");
}

TEST_F(OpenWithUnsavedWork, SaveWritesTheBoardFirstAndACancelledSaveOpensNothing) {
    editBoard("mine");
    // Save, then the chooser cancelled: nothing is opened, the board stays as it was.
    openFromOutside();
    GtkDialog* alert = waitForQuestion();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 0);
    GtkWindow* chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    chooserprobe::cancel(chooser);
    ASSERT_TRUE(testsupport::runUntil([] { return chooserprobe::find() == nullptr; }));
    settle();
    EXPECT_EQ(notes(), "mine");
    EXPECT_EQ(shell.eval("String(board.isDirty())"), "true");

    // Save, and the file written: the board is in it, and only then is the other file opened.
    openFromOutside();
    alert = waitForQuestion();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 0);
    chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(chooserprobe::accept(chooser, docs.file("mine.json")));
    ASSERT_TRUE(shell.waitFor("board.doc().items.some((i) => i.text === 'from the file')"));
    EXPECT_NE(slurp(docs.file("mine.json")).find("\"mine\""), std::string::npos);
    EXPECT_EQ(notes(), "from the file");
}

}  // namespace
