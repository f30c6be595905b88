// SPDX-License-Identifier: GPL-3.0-or-later
// The key equivalents pressed as a user presses them: key events from the X server (XTest, through
// xdotool) into the focused shell window showing the application's own page, whose keyboard
// handling takes part as it does for a user.
#include <gtest/gtest.h>

#include "gtk/webpolicy/alert_probe.h"
#include "support/gtk_support.h"
#include "support/real_page.h"

// Last: it brings in Xlib's macros.
#include "gtk/menu/real_keys.h"

namespace {

using testsupport::pressKeys;

// What the commands reach is recorded instead of carried out: no chooser, no export.
const char* kRecord =
    "window.calls = []; window.saveJSON = () => calls.push('saveJSON');"
    "window.__menuAction = (action) => calls.push(action); 0";

TEST(KeyEquivalents, EachKeyReachesItsCommandOnce) {
    testsupport::Shell shell("");
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    shell.eval(std::string(kRecord) + "; window.__quitHasContentU = () => { calls.push('quit?'); return true; }; 0");
    gtk_widget_grab_focus(GTK_WIDGET(shell.webView()));

    ASSERT_TRUE(pressKeys(shell, {"ctrl+s", "ctrl+shift+e", "ctrl+q"})) << "xdotool failed";
    // The board is unsaved, so Quit asks. The quit query comes last: once it is asked, whatever the
    // earlier keys caused has happened.
    GtkDialog* alert = alertprobe::waitFor();
    ASSERT_TRUE(alert);
    // The page had the keyboard, so its own Ctrl+S handling had its chance to save a second time.
    EXPECT_EQ(shell.eval("calls.join()"), "saveJSON,export:png,quit?");
    alertprobe::press(alert, 2);  // cancel: the application keeps running
    ASSERT_TRUE(alertprobe::waitGone());
    EXPECT_FALSE(shell.app().isShutDown());

    // A second Ctrl+Q asks the page again.
    shell.eval("calls = []; 0");
    ASSERT_TRUE(pressKeys(shell, {"ctrl+q"}));
    alert = alertprobe::waitFor();
    ASSERT_TRUE(alert);
    EXPECT_EQ(shell.eval("calls.join()"), "quit?");
    alertprobe::press(alert, 2);
    ASSERT_TRUE(alertprobe::waitGone());
}

TEST(KeyEquivalents, QuitOnACleanBoardEndsWithoutAsking) {
    testsupport::Shell shell("");
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    ASSERT_EQ(shell.eval("String(window.__quitHasContentU())"), "false");
    gtk_widget_grab_focus(GTK_WIDGET(shell.webView()));

    ASSERT_TRUE(pressKeys(shell, {"ctrl+q"})) << "xdotool failed";
    EXPECT_TRUE(testsupport::runUntil([&] { return shell.app().isShutDown(); }));
    EXPECT_EQ(alertprobe::find(), nullptr);
}

// In a page text field the editing keys edit the field (the shell's Cut, Copy, Paste and Select
// All reach it, and Ctrl+Z, which the shell does not take, is the field's own undo), and the
// shell's own equivalents still work there, once each.
TEST(KeyEquivalents, APageTextFieldKeepsItsEditingKeys) {
    testsupport::Shell shell("");
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    shell.eval(kRecord);
    gtk_widget_grab_focus(GTK_WIDGET(shell.webView()));
    shell.eval("window.field = document.getElementById('ai-model'); field.value = ''; field.focus(); 0");
    ASSERT_TRUE(shell.waitFor("document.activeElement === field"));

    ASSERT_TRUE(pressKeys(shell, {"h", "e", "y", "ctrl+a", "ctrl+c", "End", "ctrl+v"}));
    ASSERT_TRUE(shell.waitFor("field.value === 'heyhey'")) << shell.eval("field.value").value_or("?");
    ASSERT_TRUE(pressKeys(shell, {"ctrl+z"}));
    ASSERT_TRUE(shell.waitFor("field.value === 'hey'")) << shell.eval("field.value").value_or("?");
    ASSERT_TRUE(pressKeys(shell, {"ctrl+shift+z"}));
    ASSERT_TRUE(shell.waitFor("field.value === 'heyhey'")) << shell.eval("field.value").value_or("?");
    ASSERT_TRUE(pressKeys(shell, {"ctrl+a", "ctrl+x"}));
    ASSERT_TRUE(shell.waitFor("field.value === ''")) << shell.eval("field.value").value_or("?");

    shell.eval("window.__quitHasContentU = () => { calls.push('quit?'); return true; }; 0");
    ASSERT_TRUE(pressKeys(shell, {"ctrl+s", "ctrl+o", "ctrl+q"}));
    GtkDialog* alert = alertprobe::waitFor();
    ASSERT_TRUE(alert);
    EXPECT_EQ(shell.eval("calls.join()"), "saveJSON,openJSON,quit?");
    alertprobe::press(alert, 2);
    ASSERT_TRUE(alertprobe::waitGone());
    EXPECT_EQ(shell.eval("document.activeElement === field"), "true");

    // Outside the field Ctrl+Z is the board's undo, once, and leaves the field's history alone.
    shell.eval("field.blur(); board.addNote('one'); board.addNote('two'); 0");
    ASSERT_TRUE(pressKeys(shell, {"ctrl+z"}));
    ASSERT_TRUE(shell.waitFor("board.doc().items.length === 1"))
        << shell.eval("board.doc().items.length").value_or("?");
    EXPECT_EQ(shell.eval("field.value"), "");
}

}  // namespace
