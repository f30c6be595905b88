// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/compose_quit.h"
#include "common/json.h"
#include "gtk/webpolicy/alert_probe.h"
#include "menu/l10n.h"
#include "support/chooser_probe.h"
#include "support/file_text.h"
#include "support/gtk_support.h"
#include "support/json_text.h"
#include "support/real_page.h"

namespace {

using testsupport::slurp;

const char* kPage = R"(<!doctype html><meta charset="utf-8"><title>canvas</title>
<script>
window.flushes = 0; window.discards = 0;
window.__quitHasContentU = () => true;
window.__quitFlushU = () => { window.flushes++; };
window.__quitDiscardU = () => { window.discards++; throw new Error('page fault'); };
</script>)";

// The alert's texts as the interface's English table has them.
std::string english(const std::string& key) { return menu::L10N::t(key, "en"); }

// Where the tests save. It outlives every chooser: a chooser that opens on a folder that is gone
// shows an error dialog of its own.
const testsupport::TempDir& savesDir() {
    static testsupport::TempDir dir;
    return dir;
}

// The application's own quit path, with the ending observed instead of carried out. One shell for
// the suite (one application per process); each test loads the page it needs. The endless loop
// and the crash come last.
class QuitInProcess : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        shell_ = new testsupport::Shell(kPage);
        shell_->resources().write("html/quit.html", kPage);
        ASSERT_TRUE(shell_->waitLoaded());
    }
    static void TearDownTestSuite() { delete shell_; }

    // The small page above, which answers the quit calls as each test sets it up.
    void loadQuitPage() {
        g_autofree char* uri = g_filename_to_uri(shell.resources().file("html/quit.html").c_str(), nullptr, nullptr);
        webkit_web_view_load_uri(shell.webView(), uri);
        ASSERT_TRUE(shell.waitLoaded());
        ASSERT_TRUE(shell.waitFor("window.flushes === 0"));
    }
    // The application's own page with a note on it, reporting each save outcome in window.results.
    void loadBoardWithANote() {
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        shell.eval(R"JS(
          window.results = [];
          const tell = window.__saveResult;
          window.__saveResult = (r) => { window.results.push(r); tell(r); };
          board.addNote('keep me'); 0)JS");
        ASSERT_TRUE(shell.waitFor("board.isDirty()"));
    }

    void install(app::QuitConfirmation::Limits limits = {}) {
        terminated = 0;
        app::installQuitConfirmation(shell.app(), {english, [this] { ++terminated; }, limits});
    }
    bool waitTerminated() {
        return testsupport::runUntil([this] { return terminated > 0; }, std::chrono::seconds(10));
    }
    // Waits for whichever comes first: the quit ending, or an alert of the shell.
    GtkDialog* endedOrAlert() {
        GtkDialog* alert = nullptr;
        testsupport::runUntil([&] { return terminated > 0 || (alert = alertprobe::find()); });
        return alert;
    }

    static testsupport::Shell* shell_;
    testsupport::Shell& shell = *shell_;
    int terminated = 0;
};
testsupport::Shell* QuitInProcess::shell_ = nullptr;

TEST_F(QuitInProcess, ClosingTheWindowAsksCancelKeepsItSaveFlushesOnceAndEnds) {
    loadQuitPage();
    install();

    gtk_window_close(shell.window());
    GtkDialog* alert = alertprobe::waitFor();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alertprobe::text(alert), "Save canvas?");
    EXPECT_EQ(alertprobe::text(alert, "secondary-text"), "The canvas has unsaved content. Save before quitting?");
    EXPECT_EQ(alertprobe::buttonLabels(alert), (std::vector<std::string>{"Save", "Don't Save", "Cancel"}));
    EXPECT_EQ(gtk_window_get_default_widget(GTK_WINDOW(alert)), alertprobe::button(alert, 0));
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(alert)));
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(alert)), shell.window());

    // Escape answers like Cancel: the window stays and the page is not called.
    alertprobe::escape(alert);
    ASSERT_TRUE(alertprobe::waitGone());
    EXPECT_EQ(terminated, 0);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(shell.window())));
    EXPECT_EQ(shell.eval("flushes + ',' + discards"), "0,0");

    // The Quit command asks the page again.
    shell.app().requestQuit();
    alert = alertprobe::waitFor();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 0);
    ASSERT_TRUE(waitTerminated());
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(shell.eval("flushes + ',' + discards"), "1,0");
}

TEST_F(QuitInProcess, DontSaveEndsEvenWhenThePageThrows) {
    loadQuitPage();
    install();
    shell.app().requestQuit();
    GtkDialog* alert = alertprobe::waitFor();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 1);
    ASSERT_TRUE(waitTerminated());
    EXPECT_EQ(shell.eval("flushes + ',' + discards"), "0,1");
}

TEST_F(QuitInProcess, OnlyUnsavedContentAsks) {
    loadQuitPage();
    struct Case {
        const char* query;  // the page's __quitHasContentU, or "" to remove it
        bool asks;
    };
    const Case cases[] = {
        {"() => 'dirty'", true},  // the query's double negation counts a string as unsaved
        {"() => ({})", true},    {"() => false", false}, {"() => { throw new Error('broken'); }", false}, {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        shell.eval(*c.query ? std::string("window.__quitHasContentU = ") + c.query + "; 0"
                            : std::string("delete window.__quitHasContentU; 0"));
        install();
        shell.app().requestQuit();
        GtkDialog* alert = endedOrAlert();
        EXPECT_EQ(alert != nullptr, c.asks);
        if (alert) {
            alertprobe::press(alert, 2);
            ASSERT_TRUE(alertprobe::waitGone());
        }
    }
    EXPECT_EQ(shell.eval("flushes + ',' + discards"), "0,0");
}

TEST_F(QuitInProcess, ThePagesOwnDialogIsAnsweredFirst) {
    loadQuitPage();
    install({std::chrono::milliseconds(300)});
    shell.eval("setTimeout(() => { window.answered = confirm('Keep going?'); }, 0); 0");
    GtkDialog* pageDialog = alertprobe::waitFor();
    ASSERT_TRUE(pageDialog);
    gtk_window_close(shell.window());
    // Well past the wait: the request was not taken while the page waits for its user, and the page
    // is not called unresponsive for it.
    ASSERT_FALSE(testsupport::runUntil([this] { return terminated > 0; }, std::chrono::milliseconds(600)));
    EXPECT_EQ(alertprobe::find(), pageDialog);
    EXPECT_EQ(alertprobe::text(pageDialog), "Keep going?");
    alertprobe::press(pageDialog, 0);
    ASSERT_TRUE(shell.waitFor("window.answered === true"));

    shell.app().requestQuit();
    GtkDialog* alert = alertprobe::waitFor();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alertprobe::text(alert), "Save canvas?");
    alertprobe::press(alert, 2);
    ASSERT_TRUE(alertprobe::waitGone());
    EXPECT_EQ(terminated, 0);
}

TEST_F(QuitInProcess, TheBoardIsSavedOnlyWhenTheFileIsWritten) {
    loadBoardWithANote();
    install();
    const testsupport::TempDir& dir = savesDir();

    // Ctrl+S, then the chooser cancelled: the page hears so and the board stays unsaved.
    shell.eval("window.__menuAction('saveJSON'); 0");
    GtkWindow* chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    chooserprobe::cancel(chooser);
    ASSERT_TRUE(shell.waitFor("results.length === 1"));
    EXPECT_EQ(shell.eval("JSON.stringify(results[0])"),
              R"({"action":"saveJSON","ok":false,"name":"","reason":"cancelled"})");
    EXPECT_EQ(shell.eval("String(board.isDirty())"), "true");
    shell.app().requestQuit();
    GtkDialog* alert = endedOrAlert();
    ASSERT_TRUE(alert) << "quit without asking";
    EXPECT_EQ(alertprobe::text(alert), "Save canvas?");
    alertprobe::press(alert, 2);
    ASSERT_TRUE(alertprobe::waitGone());

    // Saved for real: the file holds the board, and quitting no longer asks.
    shell.eval("window.__menuAction('saveJSON'); 0");
    chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(chooserprobe::accept(chooser, dir.file("board.json")));
    ASSERT_TRUE(shell.waitFor("results.length === 2"));
    EXPECT_EQ(shell.eval("JSON.stringify(results[1])"),
              R"({"action":"saveJSON","ok":true,"name":"board.json","reason":"written"})");
    EXPECT_EQ(shell.eval("String(board.isDirty())"), "false");
    auto doc = testsupport::parseJson(slurp(dir.file("board.json")));
    ASSERT_TRUE(doc);
    EXPECT_NE(json::write(*doc).value_or("").find("keep me"), std::string::npos);
    shell.app().requestQuit();
    EXPECT_FALSE(endedOrAlert());
    EXPECT_EQ(terminated, 1);
}

TEST_F(QuitInProcess, SaveAtQuitWaitsForTheChooserAndACancelledSaveKeepsTheBoardOpen) {
    loadBoardWithANote();
    install();
    const testsupport::TempDir& dir = savesDir();

    shell.app().requestQuit();
    GtkDialog* alert = alertprobe::waitFor();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 0);
    GtkWindow* chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    chooserprobe::cancel(chooser);
    ASSERT_TRUE(shell.waitFor("results.length === 1 && results[0].reason === 'cancelled'"));
    ASSERT_FALSE(testsupport::runUntil([this] { return terminated > 0; }, std::chrono::milliseconds(500)));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(shell.window())));
    EXPECT_EQ(shell.eval("String(board.isDirty())"), "true");

    // Asked again; saved this time: the quit goes on once the file is written and the page knows.
    shell.app().requestQuit();
    alert = alertprobe::waitFor();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 0);
    chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(chooserprobe::accept(chooser, dir.file("at-quit.json")));
    ASSERT_TRUE(waitTerminated());
    EXPECT_NE(slurp(dir.file("at-quit.json")).find("keep me"), std::string::npos);
    EXPECT_EQ(shell.eval("String(board.isDirty())"), "false");
    // Nothing is left to offer back at the next start.
    shell.eval("recovery.take().then((copy) => { window.leftOver = copy; }); 0");
    EXPECT_TRUE(shell.waitFor("window.leftOver === null"));
}

TEST_F(QuitInProcess, ABusyPageIsWaitedForOnceTheUserSaysSo) {
    loadQuitPage();
    shell.eval(R"JS(window.__quitHasContentU = () => {
      const end = Date.now() + 4500;
      while (Date.now() < end) {}
      return true;
    }; 0)JS");
    install();

    for (bool pressWait : {true, false}) {
        SCOPED_TRACE(pressWait ? "Wait pressed" : "left alone");
        shell.app().requestQuit();
        GtkDialog* alert = endedOrAlert();
        ASSERT_TRUE(alert) << "quit without asking";
        EXPECT_EQ(alertprobe::text(alert), "The board is not responding");
        EXPECT_EQ(alertprobe::buttonLabels(alert), (std::vector<std::string>{"Wait", "Quit anyway"}));
        EXPECT_EQ(gtk_window_get_default_widget(GTK_WINDOW(alert)), alertprobe::button(alert, 0));
        EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(alert)), shell.window());
        // Answering while the alert is up closes it; either way the save choice follows.
        if (pressWait) alertprobe::press(alert, 0);
        ASSERT_TRUE(testsupport::runUntil([] {
            GtkDialog* shown = alertprobe::find();
            return shown && alertprobe::text(shown) == "Save canvas?";
        }));
        EXPECT_EQ(terminated, 0);
        alertprobe::press(alertprobe::find(), 2);
        ASSERT_TRUE(alertprobe::waitGone());
    }
}

TEST_F(QuitInProcess, AHungPageIsGivenUpOnlyByTheUserACrashedOneAtOnce) {
    loadQuitPage();
    install({std::chrono::milliseconds(400)});
    shell.eval("window.__quitHasContentU = () => { for (;;) {} }; 0");
    shell.app().requestQuit();
    GtkDialog* alert = endedOrAlert();
    ASSERT_TRUE(alert) << "quit without asking";
    EXPECT_EQ(alertprobe::text(alert), "The board is not responding");
    // Escape waits; the page still hangs, so the user is asked again.
    alertprobe::escape(alert);
    ASSERT_TRUE(alertprobe::waitGone());
    EXPECT_EQ(terminated, 0);
    alert = endedOrAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alertprobe::text(alert), "The board is not responding");
    alertprobe::press(alert, 1);
    ASSERT_TRUE(waitTerminated());
    ASSERT_TRUE(alertprobe::waitGone());

    // The web process is gone: no waiting for an answer that cannot come.
    install({std::chrono::minutes(5)});
    webkit_web_view_terminate_web_process(shell.webView());
    shell.app().requestQuit();
    ASSERT_TRUE(waitTerminated());
    EXPECT_FALSE(alertprobe::find());
}

}  // namespace
