// SPDX-License-Identifier: GPL-3.0-or-later
// The key question as the user meets it: a page in the real web view sends a stored key to a host it
// is not bound to, the real dialog asks, and the answer decides whether the loopback server hears
// of it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "gtk/webpolicy/alert_probe.h"
#include "net/net_access.h"
#include "support/gtk_support.h"
#include "support/http_test_server.h"
#include "vault/ossl_sealed_file.h"

namespace {

using testsupport::HttpTestServer;

const char* kPage = R"(<!doctype html><html><head><meta charset="utf-8"></head><body><script>
window.got = {};
window.__netReply = (r) => { window.got[r.reqId] = r; };
window.__vaultReply = (r) => { window.got[r.reqId] = r; };
window.post = (m) => window.webkit.messageHandlers.canvasBridge.postMessage(m);
</script></body></html>)";

TEST(KeyQuestion, TheRealDialogAsksAndItsAnswerDecides) {
    testsupport::ScopedLanguage language("en");
    HttpTestServer home, echo;
    testsupport::Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    shell.eval("post({action: 'vaultSet', reqId: 's', keyId: 'openai', value: 'sk-home-0123456789', origins: ['" +
               home.url("/v1") + "']}); true");
    ASSERT_TRUE(shell.waitFor("window.got.s?.ok === true"));
    auto request = [&](const std::string& reqId, const HttpTestServer& to) {
        shell.eval("post({action: 'netRequest', reqId: '" + reqId + "', url: '" + to.url("/chat") +
                   "', auth: {keyId: 'openai'}}); true");
    };

    request("escape", echo);
    GtkDialog* d = alertprobe::waitFor();
    ASSERT_TRUE(d);
    EXPECT_EQ(alertprobe::text(d), "Send the key \"openai\" to 127.0.0.1:" + std::to_string(echo.port()) + "?");
    EXPECT_NE(alertprobe::text(d, "secondary-text").find("127.0.0.1:" + std::to_string(home.port())),
              std::string::npos);
    EXPECT_EQ(alertprobe::buttonLabels(d), (std::vector<std::string>{"Allow once", "Always allow", "Don't allow"}));
    EXPECT_EQ(gtk_window_get_default_widget(GTK_WINDOW(d)), alertprobe::button(d, 2));
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(d)));
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(d)), shell.window());
    alertprobe::escape(d);
    ASSERT_TRUE(shell.waitFor("window.got.escape !== undefined"));
    EXPECT_EQ(shell.eval("JSON.stringify(window.got.escape)"),
              std::string(R"({"reqId":"escape","ok":false,"error":")") + net::NetAccess::kKeyRefusedText + "\"}");
    EXPECT_TRUE(alertprobe::waitGone());
    EXPECT_EQ(echo.connections(), 0);

    // Always allow on another host: sent, and kept with the key for the next start.
    HttpTestServer other;
    request("always", other);
    d = alertprobe::waitFor();
    ASSERT_TRUE(d);
    alertprobe::press(d, 1);
    ASSERT_TRUE(shell.waitFor("window.got.always !== undefined"));
    EXPECT_EQ(shell.eval("window.got.always.ok"), "true");
    ASSERT_EQ(other.requests().size(), 1u);
    EXPECT_EQ(other.requests()[0].header("Authorization"), "Bearer sk-home-0123456789");
    const std::string file = std::string(std::getenv("XDG_DATA_HOME")) + "/TAVRIK/vault.dat.origins";
    auto stored = [&] { return vault::SealedFile(file).load().items["openai"]; };
    EXPECT_TRUE(testsupport::runUntil([&] { return stored() == home.origin() + "\n" + other.origin(); })) << stored();

    // The host refused before stays refused for this run, without a second question.
    request("again", echo);
    ASSERT_TRUE(shell.waitFor("window.got.again !== undefined"));
    EXPECT_EQ(alertprobe::find(), nullptr);
    EXPECT_EQ(echo.connections(), 0);
}

}  // namespace
