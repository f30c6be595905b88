#include <gtest/gtest.h>

#include "app/compose_quit.h"
#include "gtk/webpolicy/alert_probe.h"
#include "menu/l10n.h"
#include "support/gtk_support.h"

namespace {

const char* kPage = R"(<!doctype html><meta charset="utf-8"><title>canvas</title>
<script>
window.flushes = 0; window.discards = 0;
window.__quitHasContentU = () => true;
window.__quitFlushU = () => { window.flushes++; };
window.__quitDiscardU = () => { window.discards++; throw new Error('page fault'); };
</script>)";

// The alert's texts as the interface's English table has them.
std::string english(const std::string& key) { return menu::L10N::t(key, "en"); }

// The application's own quit path, with the ending observed instead of carried out. One shell for
// the suite: the crash case comes last.
class QuitInProcess : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        shell_ = new testsupport::Shell(kPage);
        ASSERT_TRUE(shell_->waitLoaded());
    }
    static void TearDownTestSuite() { delete shell_; }
    void SetUp() override { shell.eval("flushes = 0; discards = 0; window.__quitHasContentU = () => true; 0"); }

    void install(app::QuitConfirmation::Limits limits = {}) {
        terminated = 0;
        app::installQuitConfirmation(shell.app(), {english, [this] { ++terminated; }, limits});
    }
    bool waitTerminated() {
        return testsupport::runUntil([this] { return terminated > 0; }, std::chrono::seconds(10));
    }

    static testsupport::Shell* shell_;
    testsupport::Shell& shell = *shell_;
    int terminated = 0;
};
testsupport::Shell* QuitInProcess::shell_ = nullptr;

TEST_F(QuitInProcess, ClosingTheWindowAsksCancelKeepsItSaveFlushesOnceAndEnds) {
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
    install();
    shell.app().requestQuit();
    GtkDialog* alert = alertprobe::waitFor();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 1);
    ASSERT_TRUE(waitTerminated());
    EXPECT_EQ(shell.eval("flushes + ',' + discards"), "0,1");
}

TEST_F(QuitInProcess, OnlyUnsavedContentAsks) {
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
        GtkDialog* alert = nullptr;
        ASSERT_TRUE(testsupport::runUntil([&] { return terminated > 0 || (alert = alertprobe::find()); }));
        EXPECT_EQ(alert != nullptr, c.asks);
        if (alert) {
            alertprobe::press(alert, 2);
            ASSERT_TRUE(alertprobe::waitGone());
        }
    }
    EXPECT_EQ(shell.eval("flushes + ',' + discards"), "0,0");
}

TEST_F(QuitInProcess, ThePagesOwnDialogIsAnsweredFirst) {
    install({std::chrono::milliseconds(300), std::chrono::seconds(10)});
    shell.eval("setTimeout(() => { window.answered = confirm('Keep going?'); }, 0); 0");
    GtkDialog* pageDialog = alertprobe::waitFor();
    ASSERT_TRUE(pageDialog);
    gtk_window_close(shell.window());
    // Well past the limit: the request was not taken while the page waits for its user.
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

TEST_F(QuitInProcess, AHungOrCrashedPageStillLetsTheUserQuit) {
    // The query runs forever: the limit ends the wait.
    install({std::chrono::milliseconds(300), std::chrono::seconds(10)});
    shell.eval("window.__quitHasContentU = () => { for (;;) {} }; 0");
    shell.app().requestQuit();
    ASSERT_TRUE(waitTerminated());
    EXPECT_FALSE(alertprobe::find());

    // The web process is gone: no waiting for an answer that cannot come.
    install({std::chrono::minutes(5), std::chrono::minutes(5)});
    webkit_web_view_terminate_web_process(shell.webView());
    shell.app().requestQuit();
    ASSERT_TRUE(waitTerminated());
    EXPECT_FALSE(alertprobe::find());
}

}  // namespace
