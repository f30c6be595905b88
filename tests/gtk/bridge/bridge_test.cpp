// SPDX-License-Identifier: GPL-3.0-or-later
// The real shell under Xvfb: messages posted by a page go through WebKit to the dispatcher, and
// page calls come back through WebKit to the page.
#include <gtest/gtest.h>

#include "support/gtk_support.h"

using testsupport::Shell;

namespace {

const char* kPage = R"(<!doctype html><html><head><meta charset="utf-8"></head><body><script>
window.got = [];
window.__got = function () { window.got.push(Array.from(arguments)); };
window.post = (m) => window.webkit.messageHandlers.canvasBridge.postMessage(m);
</script></body></html>)";

}  // namespace

TEST(BridgeInShell, WindowIsTheMainWindowAndSetTitleRenamesIt) {
    Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    EXPECT_STREQ(gtk_window_get_title(shell.window()), "TAVRIK");
    int w = 0, h = 0;
    gtk_window_get_default_size(shell.window(), &w, &h);
    // The sizes are the page's: the menu bar comes on top (tests/gtk/app/window_size_test.cpp).
    EXPECT_EQ(w, 1280);
    EXPECT_GT(h, 820);
    int minW = 0, minH = 0;
    gtk_widget_get_size_request(gtk_window_get_child(shell.window()), &minW, &minH);
    EXPECT_EQ(minW, 900);
    EXPECT_EQ(minH, 600);

    shell.eval("post({action:'setTitle', title: 42}); post({action:'setTitle', title:'画板 \"一\"'})");
    EXPECT_TRUE(
        testsupport::runUntil([&] { return g_str_equal(gtk_window_get_title(shell.window()), "画板 \"一\""); }));
    shell.eval("post({action:'setTitle', title:''})");
    EXPECT_TRUE(testsupport::runUntil([&] { return g_str_equal(gtk_window_get_title(shell.window()), ""); }));
    // A title with a NUL would show shortened: it is refused. A lone surrogate shows as U+FFFD.
    std::vector<std::string> titles;
    gulong watch = g_signal_connect(
        shell.window(), "notify::title", G_CALLBACK(+[](GtkWindow* w, GParamSpec*, gpointer seen) noexcept {
            static_cast<std::vector<std::string>*>(seen)->push_back(gtk_window_get_title(w) ? gtk_window_get_title(w)
                                                                                            : "");
        }),
        &titles);
    shell.eval("post({action:'setTitle', title:'cut\\u0000here'}); post({action:'setTitle', title:'a\\uD800b'})");
    EXPECT_TRUE(testsupport::runUntil([&] { return !titles.empty(); }));
    EXPECT_EQ(titles, std::vector<std::string>{"a\xEF\xBF\xBD"
                                               "b"});
    g_signal_handler_disconnect(shell.window(), watch);
}

TEST(BridgeInShell, HostileStringsReachThePageIntactThroughEveryForm) {
    Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    const std::string nasty = "q\"uote' back\\slash\nline\r\tU+2028:\u2028 U+2029:\u2029 </script><b> 中文 😀 \x01";
    auto& b = *shell.app().bridge();
    b.pushPositional("__got", json::Array{nasty, 7});
    b.pushFunction("__got", json::Object{{"s", nasty}});
    b.pushWrapped("__got", json::Object{{"s", nasty}});
    b.pushScript("window.__got('fixed')");
    ASSERT_TRUE(shell.waitFor("window.got.length === 4"));
    const std::optional<std::string> same(nasty);
    EXPECT_EQ(shell.eval("window.got[0][0]"), same);
    EXPECT_EQ(shell.eval("String(window.got[0][1])"), std::optional<std::string>("7"));
    EXPECT_EQ(shell.eval("window.got[1][0].s"), same);
    EXPECT_EQ(shell.eval("window.got[2][0].s"), same);
    EXPECT_EQ(shell.eval("window.got[3][0]"), std::optional<std::string>("fixed"));
}

TEST(BridgeInShell, PageCallsArriveInIssueOrderFromAnyThread) {
    Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    auto bridge = shell.app().bridge();
    std::thread worker([bridge] {
        for (int i = 0; i < 100; ++i) bridge->pushPositional("__got", json::Array{i});
    });
    worker.join();
    for (int i = 100; i < 200; ++i) bridge->pushPositional("__got", json::Array{i});
    ASSERT_TRUE(shell.waitFor("window.got.length === 200"));
    EXPECT_EQ(shell.eval("window.got.every((a, i) => a[0] === i)"), std::optional<std::string>("true"));
}

TEST(BridgeInShell, MalformedAndHugeMessagesAreIgnored) {
    Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    shell.eval(R"(
        window.tries = [];
        let deep = [], cur = deep;
        for (let i = 0; i < 100000; i++) { const n = []; cur.push(n); cur = n; }
        for (const m of ['setTitle', ['setTitle'], 42, null, {action: 5}, {action: 'setTitle', title: deep},
                         {action: 'setTitle', junk: deep, title: 'deep-ok'}]) {
            try { post(m); window.tries.push('ok'); } catch (e) { window.tries.push(String(e)); }
        }
        try { post({action: 'nope', big: 'x'.repeat(100 * 1024 * 1024)}); } catch (e) { window.tries.push(String(e)); }
        post({action: 'setTitle', title: 'after'});
    )");
    // The last message is well-formed; whatever happened to the ones before, the shell is alive.
    EXPECT_TRUE(testsupport::runUntil([&] { return g_str_equal(gtk_window_get_title(shell.window()), "after"); },
                                      std::chrono::seconds(60)))
        << shell.eval("JSON.stringify(window.tries)").value_or("?");
}

TEST(BridgeInShell, NothingIsEvaluatedOnceTheWebViewIsGone) {
    Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    auto bridge = shell.app().bridge();
    EXPECT_TRUE(bridge->page().alive());
    bridge->pushFunction("__got", json::Object{{"late", true}});  // queued before the view goes
    gtk_window_destroy(shell.window());
    EXPECT_TRUE(testsupport::runUntil([&] { return !bridge->page().alive(); }));
    bridge->pushFunction("__got", json::Object{{"later", true}});
    bool answered = false;
    bridge->page().evaluateThen("true", [&](std::optional<bool> r) { answered = !r.has_value(); });
    EXPECT_TRUE(testsupport::runUntil([&] { return answered; }));
}

TEST(BridgeInShell, MissingPageLeavesAnEmptyWindowRunning) {
    Shell shell("");
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(shell.window())));
    EXPECT_EQ(webkit_web_view_get_uri(shell.webView()), nullptr);
}
