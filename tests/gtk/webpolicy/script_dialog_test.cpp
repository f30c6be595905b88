// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "gtk/webpolicy/alert_probe.h"
#include "support/gtk_support.h"

namespace {

const char* kPage = R"(<!doctype html><meta charset="utf-8"><title>dialogs</title>
<script>
window.done = 0;
function later(f) { setTimeout(() => { window.got = f(); window.done++; }, 0); }
</script>)";

class ScriptDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The buttons follow the interface language; pin it to the page's own, Simplified Chinese.
        setenv("LANGUAGE", "zh_CN", 1);
        shell = new testsupport::Shell(kPage);
        ASSERT_TRUE(shell->waitLoaded());
    }
    static void TearDownTestSuite() { delete shell; }

    // Starts a dialog from the page and returns it once shown; the page's script is blocked in it.
    GtkDialog* open(const std::string& call) {
        expected = std::stoi(shell->eval("window.done").value_or("0")) + 1;
        shell->eval("later(() => " + call + "); 0");
        return alertprobe::waitFor();
    }
    // What the page's call returned, as JSON, once the dialog has been answered.
    std::string result() {
        EXPECT_TRUE(shell->waitFor("window.done === " + std::to_string(expected)));
        EXPECT_TRUE(alertprobe::waitGone());
        return shell->eval("JSON.stringify(window.got === undefined ? 'undefined' : window.got)").value_or("?");
    }

    static testsupport::Shell* shell;
    int expected = 0;
};
testsupport::Shell* ScriptDialogTest::shell = nullptr;

TEST_F(ScriptDialogTest, AlertShowsTheTextAndOneButtonAndThePageWaits) {
    GtkDialog* d = open("alert('Hello <b>there</b>')");
    ASSERT_TRUE(d);
    EXPECT_EQ(alertprobe::text(d), "Hello <b>there</b>");
    EXPECT_EQ(alertprobe::buttonLabels(d), std::vector<std::string>{"好"});
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(d)));
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(d)), shell->window());
    alertprobe::press(d, 0);
    EXPECT_EQ(result(), "\"undefined\"");

    d = open("alert('')");
    ASSERT_TRUE(d);
    EXPECT_EQ(alertprobe::text(d), "");
    alertprobe::escape(d);
    EXPECT_EQ(result(), "\"undefined\"");
}

TEST_F(ScriptDialogTest, ConfirmIsTrueOnlyForTheFirstButton) {
    struct Case {
        const char* how;
        bool first;
        bool escape;
        const char* expected;
    };
    for (const Case& c : {Case{"first", true, false, "true"}, Case{"second", false, false, "false"},
                          Case{"escape", false, true, "false"}}) {
        SCOPED_TRACE(c.how);
        GtkDialog* d = open("confirm('Proceed?')");
        ASSERT_TRUE(d);
        EXPECT_EQ(alertprobe::text(d), "Proceed?");
        EXPECT_EQ(alertprobe::buttonLabels(d), (std::vector<std::string>{"确定", "取消"}));
        EXPECT_EQ(gtk_window_get_default_widget(GTK_WINDOW(d)), alertprobe::button(d, 0));
        if (c.escape)
            alertprobe::escape(d);
        else
            alertprobe::press(d, c.first ? 0 : 1);
        EXPECT_EQ(result(), c.expected);
    }
}

TEST_F(ScriptDialogTest, PromptGivesTheFieldsTextOrNull) {
    struct Case {
        const char* call;
        const char* startText;
        const char* typed;  // null: leave the field as it is
        int button;         // -1: Return in the field, -2: Escape
        const char* expected;
    };
    const Case cases[] = {
        {"prompt('Name?', 'abc')", "abc", nullptr, 0, "\"abc\""},
        {"prompt('Name?', 'abc')", "abc", "", 0, "\"\""},
        {"prompt('Name?', 'abc')", "abc", "typed 文字", -1, "\"typed 文字\""},
        {"prompt('Name?', 'abc')", "abc", "typed", 1, "null"},
        {"prompt('Name?', 'abc')", "abc", nullptr, -2, "null"},
        {"prompt('Name?')", "", nullptr, 0, "\"\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.call) + " button " + std::to_string(c.button));
        GtkDialog* d = open(c.call);
        ASSERT_TRUE(d);
        EXPECT_EQ(alertprobe::text(d), "Name?");
        EXPECT_EQ(alertprobe::buttonLabels(d), (std::vector<std::string>{"确定", "取消"}));
        GtkEntry* field = alertprobe::entry(d);
        ASSERT_TRUE(field);
        EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(field)), c.startText);
        EXPECT_TRUE(gtk_widget_is_focus(GTK_WIDGET(field)) ||
                    gtk_widget_is_ancestor(gtk_window_get_focus(GTK_WINDOW(d)), GTK_WIDGET(field)));
        if (c.typed) gtk_editable_set_text(GTK_EDITABLE(field), c.typed);
        if (c.button == -1)
            alertprobe::pressReturn(GTK_WIDGET(field));
        else if (c.button == -2)
            alertprobe::escape(d);
        else
            alertprobe::press(d, c.button);
        EXPECT_EQ(result(), c.expected);
    }
}

TEST_F(ScriptDialogTest, ButtonsSpeakTheInterfaceLanguage) {
    struct Case {
        const char* language;
        std::vector<std::string> alert, confirm;  // prompt has the confirm buttons
    };
    const Case cases[] = {
        {"en", {"OK"}, {"OK", "Cancel"}},
        {"es", {"OK"}, {"Aceptar", "Cancelar"}},
        {"fr", {"OK"}, {"Valider", "Annuler"}},
        {"ko", {"확인"}, {"확인", "취소"}},
    };
    struct Restore {
        ~Restore() { setenv("LANGUAGE", "zh_CN", 1); }
    } restore;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        setenv("LANGUAGE", c.language, 1);
        GtkDialog* d = open("alert('a')");
        ASSERT_TRUE(d);
        EXPECT_EQ(alertprobe::buttonLabels(d), c.alert);
        alertprobe::press(d, 0);
        EXPECT_EQ(result(), "\"undefined\"");

        d = open("confirm('c')");
        ASSERT_TRUE(d);
        EXPECT_EQ(alertprobe::buttonLabels(d), c.confirm);
        alertprobe::press(d, 0);
        EXPECT_EQ(result(), "true");

        d = open("prompt('p', 'x')");
        ASSERT_TRUE(d);
        EXPECT_EQ(alertprobe::buttonLabels(d), c.confirm);
        alertprobe::press(d, 1);
        EXPECT_EQ(result(), "null");
    }
}

// The application may end while the page waits in a dialog (a quit that found the page busy).
TEST(ScriptDialogTeardown, ClosingTheShellWithADialogOpenIsSafe) {
    auto shell = std::make_unique<testsupport::Shell>(kPage);
    ASSERT_TRUE(shell->waitLoaded());
    shell->eval("later(() => prompt('Still there?', 'x')); 0");
    ASSERT_TRUE(alertprobe::waitFor());
    shell.reset();
    EXPECT_TRUE(alertprobe::waitGone());
}

}  // namespace
