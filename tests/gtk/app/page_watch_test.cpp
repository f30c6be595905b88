// SPDX-License-Identifier: GPL-3.0-or-later
// --watch: a page developer's writes under the html folder reload the page, once per burst of
// writes, also in folders made after the watch began; editors' swap files do not.
#include <gtest/gtest.h>

#include <fstream>

#include "app/gtk_page_watch.h"
#include "app/options.h"
#include "support/gtk_support.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kQuiet = 200ms;

struct PageWatchTest : testing::Test {
    void SetUp() override {
        ASSERT_TRUE(shell.waitLoaded());
        loads = g_signal_connect(shell.webView(), "load-changed",
                                 G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer count) noexcept {
                                     if (event == WEBKIT_LOAD_FINISHED) ++*static_cast<int*>(count);
                                 }),
                                 &finished);
    }
    void TearDown() override { g_signal_handler_disconnect(shell.webView(), loads); }

    void write(const std::string& name, const std::string& text) { shell.resources().write("html/" + name, text); }
    // Lets the main loop run for `time`, whatever happens meanwhile.
    void pass(std::chrono::milliseconds time) {
        testsupport::runUntil([] { return false; }, time);
    }

    testsupport::Shell shell{R"(<!doctype html><meta charset="utf-8"><title>v1</title>)"};
    gulong loads = 0;
    int finished = 0;
};

TEST_F(PageWatchTest, ABurstOfWritesReloadsOnce) {
    EXPECT_TRUE(app::parseOptions({"--resources", "d", "--watch"}).watch);
    EXPECT_FALSE(app::parseOptions({"--resources", "d"}).watch);

    write("lib/old.js", "// there before the watch");
    app::PageWatch watch(shell.webView(), shell.resources().file("html"), kQuiet);
    EXPECT_EQ(watch.folders(), 2u);

    // Writes a little apart, each sooner after the last than the quiet time: one reload, after
    // the last, which shows what it wrote.
    write("style.css", "p {}");
    pass(50ms);
    write("lib/old.js", "// changed");
    pass(50ms);
    write("lib/new/deep.js", "// a folder made meanwhile");
    pass(50ms);
    write("index.html", R"(<!doctype html><meta charset="utf-8"><title>v2</title>)");
    ASSERT_TRUE(testsupport::runUntil([&] { return finished == 1; }, 5s));
    EXPECT_EQ(shell.eval("document.title"), "v2");
    pass(4 * kQuiet);
    EXPECT_EQ(finished, 1) << "the burst reloaded more than once";

    // Swap and backup files are no change.
    write(".index.html.swp", "x");
    write("index.html~", "x");
    pass(4 * kQuiet);
    EXPECT_EQ(finished, 1);

    // The folder made during the burst is watched too; a removal is a change as well.
    write("lib/new/deep.js", "// again");
    ASSERT_TRUE(testsupport::runUntil([&] { return finished == 2; }, 5s));
    ASSERT_EQ(std::remove(shell.resources().file("html/style.css").c_str()), 0);
    ASSERT_TRUE(testsupport::runUntil([&] { return finished == 3; }, 5s));
    pass(4 * kQuiet);
    EXPECT_EQ(finished, 3);
}

}  // namespace
