// The key equivalents pressed as a user presses them: key events from the X server (XTest, through
// xdotool) into the focused shell window showing the application's own page, whose keyboard
// handling takes part as it does for a user.
#include <gtest/gtest.h>

#include "support/gtk_support.h"
#include "support/real_page.h"

namespace {

// Focuses the shell's window (titled "TAVRIK" or, once the page names its board, "TAVRIK — …")
// and types the keys, in order.
bool pressKeys(std::vector<std::string> keys) {
    std::vector<std::string> args{"xdotool",     "search", "--sync", "--onlyvisible", "--name", "^TAVRIK",
                                  "windowfocus", "--sync", "key",    "--delay",       "100"};
    args.insert(args.end(), keys.begin(), keys.end());
    return testsupport::runProgram(args);
}

TEST(KeyEquivalents, EachKeyReachesItsCommandOnce) {
    testsupport::Shell shell("");
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    // What the commands reach is recorded instead of carried out: no chooser, no export, no ending.
    shell.eval(
        "window.calls = []; window.saveJSON = () => calls.push('saveJSON');"
        "window.__menuAction = (action) => calls.push(action);"
        "window.__quitHasContentU = () => { calls.push('quit?'); return false; }; 0");
    gtk_widget_grab_focus(GTK_WIDGET(shell.webView()));

    ASSERT_TRUE(pressKeys({"ctrl+s", "ctrl+shift+e", "ctrl+q"})) << "xdotool failed";
    // The quit query comes last: once it is asked, whatever the earlier keys caused has happened.
    ASSERT_TRUE(shell.waitFor("calls.includes('quit?')")) << shell.eval("calls.join()").value_or("?");
    // The page had the keyboard, so its own Ctrl+S handling had its chance to save a second time.
    EXPECT_TRUE(gtk_widget_has_focus(GTK_WIDGET(shell.webView())));
    EXPECT_EQ(shell.eval("calls.join()"), "saveJSON,export:png,quit?");
}

}  // namespace
