// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>

#include "support/gtk_support.h"

namespace {

// Records every navigation the web view is asked to decide, before the guard decides it.
class DecisionLog {
public:
    DecisionLog() {
        signal_ = g_signal_lookup("decide-policy", WEBKIT_TYPE_WEB_VIEW);
        hook_ = g_signal_add_emission_hook(signal_, 0, onDecide, this, nullptr);
    }
    ~DecisionLog() { g_signal_remove_emission_hook(signal_, hook_); }
    bool saw(const std::string& suffix) const {
        return std::any_of(urls.begin(), urls.end(), [&](const std::string& u) {
            return u.size() >= suffix.size() && u.compare(u.size() - suffix.size(), suffix.size(), suffix) == 0;
        });
    }
    std::vector<std::string> urls;

private:
    static gboolean onDecide(GSignalInvocationHint*, guint, const GValue* params, gpointer self) noexcept {
        auto type = static_cast<WebKitPolicyDecisionType>(g_value_get_enum(&params[2]));
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return TRUE;
        auto* decision = WEBKIT_NAVIGATION_POLICY_DECISION(g_value_get_object(&params[1]));
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(decision);
        const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        static_cast<DecisionLog*>(self)->urls.push_back(uri ? uri : "");
        return TRUE;
    }
    guint signal_ = 0;
    gulong hook_ = 0;
};

TEST(NavGuardInProcess, PageStaysWhenItTriesToLeaveTheFolder) {
    testsupport::Shell shell(R"(<!doctype html><meta charset="utf-8"><title>start</title>
<script>
window.addEventListener('message', e => { window.framesSaid = (window.framesSaid || []).concat([e.data]); });
</script>)");
    const auto& res = shell.resources();
    res.write("secret.html", "<script>parent.postMessage('secret', '*')</script>");
    res.write("html2/evil.html", "<script>parent.postMessage('sibling', '*')</script>");
    res.write("html/sub/frame.html", "<script>parent.postMessage('inside', '*')</script>");
    res.write("html/sub/next.html", "<title>next</title>");
    ASSERT_TRUE(shell.waitLoaded());
    std::string start = webkit_web_view_get_uri(shell.webView());

    // Every load that starts, whatever its outcome.
    std::vector<std::string> started;
    gulong loads = g_signal_connect(
        shell.webView(), "load-changed", G_CALLBACK(+[](WebKitWebView* v, WebKitLoadEvent e, gpointer log) noexcept {
            if (e == WEBKIT_LOAD_STARTED)
                static_cast<std::vector<std::string>*>(log)->push_back(webkit_web_view_get_uri(v));
        }),
        &started);

    DecisionLog log;
    // Frames first: a frame outside is refused, one inside loads and reports.
    shell.eval(R"(for (const src of ['../secret.html', '../html2/evil.html', '..%2fsecret.html', 'sub/frame.html']) {
                    const f = document.createElement('iframe'); f.src = src; document.body.appendChild(f); } 0)");
    ASSERT_TRUE(shell.waitFor("window.framesSaid && window.framesSaid.includes('inside')"));
    EXPECT_TRUE(log.saw("/secret.html"));
    EXPECT_TRUE(log.saw("/html2/evil.html"));
    EXPECT_EQ(shell.eval("JSON.stringify(window.framesSaid)"), "[\"inside\"]");

    // The page itself: a sibling file, the html2 folder, an encoded "..", a web address, a new window.
    // (Port 47: WebKit refuses well-known ports such as 9 before any decision.)
    for (const char* target : {"../secret.html", "../html2/evil.html", "..%2fsecret.html", "HTTPS://127.0.0.1:47/x"}) {
        SCOPED_TRACE(target);
        std::size_t before = log.urls.size();
        shell.eval(std::string("location.href = '") + target + "'; 0");
        ASSERT_TRUE(testsupport::runUntil([&] { return log.urls.size() > before; }, std::chrono::seconds(3)))
            << ::testing::PrintToString(log.urls);
    }
    // Scripted pop-ups are blocked before any decision unless allowed; allow them to reach the guard.
    webkit_settings_set_javascript_can_open_windows_automatically(webkit_web_view_get_settings(shell.webView()), TRUE);
    shell.eval(R"(for (const href of ['https://127.0.0.1:47/popup', '../secret.html']) {
                    const a = document.createElement('a'); a.href = href; a.target = '_blank';
                    document.body.appendChild(a); a.click(); } 0)");
    ASSERT_TRUE(
        testsupport::runUntil([&] { return log.saw("/popup") && log.urls.size() >= 10; }, std::chrono::seconds(3)))
        << ::testing::PrintToString(log.urls);

    // Still the same page, and no load of the main frame has started since.
    EXPECT_EQ(shell.eval("document.title"), "start");
    EXPECT_EQ(webkit_web_view_get_uri(shell.webView()), start);
    EXPECT_TRUE(started.empty()) << started.front();

    // A page inside the folder still loads.
    shell.eval("location.href = 'sub/next.html'; 0");
    ASSERT_TRUE(shell.waitFor("document.title === 'next'"));
    g_signal_handler_disconnect(shell.webView(), loads);
}

// The hand-off to the desktop, for real: the application started as a user starts it, with a fake
// default browser (a desktop entry whose program writes down its argument) registered for web
// and mail addresses in private XDG folders, on a page that tries to leave for each.
TEST(NavGuardDesktop, WebAddressesGoToTheDefaultBrowserAndNothingElseDoes) {
    testsupport::TempDir home;
    const std::string opened = home.file("opened");
    home.write("browser", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + opened + "'\n");
    chmod(home.file("browser").c_str(), 0755);
    home.write("data/applications/test-browser.desktop",
               "[Desktop Entry]\nType=Application\nName=Test Browser\nExec=" + home.file("browser") +
                   " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;x-scheme-handler/mailto;\n");
    home.write("config/mimeapps.list",
               "[Default Applications]\nx-scheme-handler/http=test-browser.desktop\n"
               "x-scheme-handler/https=test-browser.desktop\nx-scheme-handler/mailto=test-browser.desktop\n");
    mkdir(home.file("runtime").c_str(), 0700);
    // Port 47: nothing listens there, and nothing is ever fetched, since the guard refuses the loads.
    home.write("resources/html/index.html", R"(<!doctype html><meta charset="utf-8"><title>start</title>
<script>
const targets = ['mailto:someone@example.invalid', 'HTTPS://127.0.0.1:47/from-the-page?q=1',
                 'http://127.0.0.1:47/plain', '../outside.html'];
addEventListener('load', () => targets.forEach((t, i) => setTimeout(() => { location.href = t; }, 200 * i)));
</script>)");

    testsupport::Program app({TAVRIK_BINARY, "--resources", home.file("resources")},
                             {"HOME=" + home.path(), "XDG_DATA_HOME=" + home.file("data"),
                              "XDG_CONFIG_HOME=" + home.file("config"), "XDG_RUNTIME_DIR=" + home.file("runtime"),
                              // A bus that answers nothing: no portal stands between GIO and the entry.
                              "DBUS_SESSION_BUS_ADDRESS=unix:path=" + home.file("no-bus")});
    ASSERT_TRUE(app.started());
    auto lines = [&] {
        std::ifstream in(opened);
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);) out.push_back(line);
        std::sort(out.begin(), out.end());
        return out;
    };
    // The mail address was tried first, so its launch, had there been one, would be in by now.
    EXPECT_TRUE(testsupport::runUntil([&] { return lines().size() >= 2 || app.exited(); }, std::chrono::seconds(60)));
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"http://127.0.0.1:47/plain", "https://127.0.0.1:47/from-the-page?q=1"}));
    EXPECT_FALSE(app.exited()) << "the application ended by itself";
    app.signal(SIGTERM);
    EXPECT_TRUE(app.waitExit());
}

}  // namespace
