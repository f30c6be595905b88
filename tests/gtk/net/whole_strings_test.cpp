// SPDX-License-Identifier: GPL-3.0-or-later
// Strings from the page reach the server, the vault and the replies whole: a NUL stays, a lone
// surrogate becomes U+FFFD; a field that cannot carry a NUL is refused, never shortened.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/gtk_support.h"
#include "support/http_test_server.h"

namespace {

using testsupport::HttpTestServer;
using testsupport::ReceivedRequest;
using testsupport::ScriptedResponse;

const char* kPage = R"(<!doctype html><html><head><meta charset="utf-8"></head><body><script>
window.got = {};
window.__netReply = r => { window.got[r.reqId] = r; };
window.__vaultReply = r => { window.got[r.reqId] = r; };
function post(m) { window.webkit.messageHandlers.canvasBridge.postMessage(m); }
</script></body></html>)";

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(WholeStrings, NulAndLoneSurrogatesArriveAsSent) {
    HttpTestServer server;
    server.handle([](const ReceivedRequest&) -> ScriptedResponse { return {200, {}, "fine"}; });
    testsupport::Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    const std::string url = "'" + server.url("/echo") + "'";
    shell.eval(R"(
        post({action: 'vaultSet', reqId: 'v\u0000\uD800', keyId: 'nul-key', value: 'abc\u0000def\uDC00'});
        post({action: 'vaultSet', reqId: 'v2', keyId: 'sur-key', value: 'x\uD800y'});
        post({action: 'vaultSet', reqId: 'v3', keyId: 'bad\u0000key', value: 'zzz'});
        post({action: 'netRequest', reqId: 'n\u0000id\uDBFF', url: )" +
               url + R"(, body: 'a\u0000b\uD800c\uD83D\uDE00',
              auth: {keyId: 'sur-key', scheme: 'header', headerName: 'X-Key'}});
        post({action: 'netRequest', reqId: 'cut-key', url: )" +
               url + R"(, auth: {keyId: 'nul-key', scheme: 'bearer'}});
        post({action: 'netRequest', reqId: 'cut-header', url: )" +
               url + R"(, headers: {'X-Note': 'a\u0000b'}});
        post({action: 'netRequest', reqId: 'nul-name', url: )" +
               url + R"(, headers: {'X-A\u0000B': '1', 'X-Other': '2'}});
        post({action: 'netRequest', reqId: 'surrogate-name', url: )" +
               url + R"(, headers: {'X-\uD800': '1'}});
        true)");
    ASSERT_TRUE(shell.waitFor("Object.keys(window.got).length === 8"));

    // Replies: reqIds come back with the NUL kept and the lone surrogate replaced.
    auto field = [&](const std::string& reqIdJs, const std::string& expr) {
        return shell.eval("JSON.stringify(window.got[" + reqIdJs + "]" + expr + ")").value_or("?");
    };
    EXPECT_EQ(field("'v\\u0000\\uFFFD'", ".ok"), "true");
    EXPECT_EQ(field("'v\\u0000\\uFFFD'", ".hint"), "\"\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022\"");
    EXPECT_EQ(field("'v3'", ".ok"), "false") << "a key id with a NUL is refused";
    EXPECT_EQ(field("'n\\u0000id\\uFFFD'", ".ok"), "true");
    EXPECT_EQ(field("'n\\u0000id\\uFFFD'", ".text"), "\"fine\"");
    for (const char* refused : {"'cut-key'", "'cut-header'", "'nul-name'", "'surrogate-name'"}) {
        EXPECT_EQ(field(refused, ".ok"), "false") << refused;
        EXPECT_EQ(field(refused, ".error"), "\"a header or key id cannot be sent as given\"") << refused;
    }

    // At the server: the body whole (the pair kept, the lone half replaced), the secret in its header.
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u) << "refused requests never leave";
    EXPECT_EQ(requests[0].body, std::string("a\0b", 3) + kReplacement + "c\U0001F600");
    EXPECT_EQ(requests[0].header("X-Key"), "x" + kReplacement + "y");

    // The vault holds the value whole.
    std::optional<std::optional<std::string>> secret;
    shell.app().secrets()->get("nul-key", "", [&](vault::SecretSource::Key k) { secret = std::move(k.secret); });
    ASSERT_TRUE(testsupport::runUntil([&] { return secret.has_value(); }));
    EXPECT_EQ(*secret, std::string("abc\0def", 7) + kReplacement);
}

}  // namespace
