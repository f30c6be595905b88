// SPDX-License-Identifier: GPL-3.0-or-later
// The page's view of the network commands, in the real web view: what __netReply and
// __imageFetched receive.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/gtk_support.h"
#include "support/http_test_server.h"

namespace {

using testsupport::HttpTestServer;
using testsupport::ReceivedRequest;
using testsupport::ScriptedResponse;

const char* kPage = R"(<!doctype html><html><head><meta charset="utf-8"></head><body><script>
window.got = [];
window.__netReply = function (r) { window.got.push(['net', r]); };
window.__imageFetched = function (r) { window.got.push(['image', r]); };
function post(m) { window.webkit.messageHandlers.canvasBridge.postMessage(m); }
</script></body></html>)";

TEST(NetPage, RepliesReachThePageInTheirShapes) {
    HttpTestServer server;
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "\x01\x02\x03\x04";
    server.handle([&](const ReceivedRequest& r) -> ScriptedResponse {
        if (r.target == "/chat") return {200, {{"Content-Type", "application/json"}}, R"({"answer":"好/42"})"};
        if (r.target == "/gone") return {404, {}, R"({"error":"nope"})"};
        if (r.target == "/img") return {200, {{"Content-Type", "application/octet-stream"}}, png};
        return {404, {}, ""};
    });
    testsupport::Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());

    auto url = [&](const char* path) { return "'" + server.url(path) + "'"; };
    shell.eval("post({action:'netRequest', reqId:'n1', url:" + url("/chat") +
               ", body:'{\"q\":1}', headers:{'Content-Type':'application/json'}, auth:{keyId:'k', scheme:'bearer'}});"
               "post({action:'netRequest', reqId:'n2', url:'http://127.0.0.2:" +
               std::to_string(server.port()) +
               "/'});"
               "post({action:'netRequest', reqId:'n3', url:" +
               url("/gone") +
               ", method:'GET'});"
               "post({action:'fetchImage', reqId:'i1', url:" +
               url("/img") +
               "});"
               "post({action:'fetchImage', reqId:'i2', url:" +
               url("/gone") +
               "});"
               "true");
    ASSERT_TRUE(shell.waitFor("window.got.length === 5"));
    auto reply = [&](const std::string& id) {
        return shell.eval("JSON.stringify(window.got.find(g => g[1].reqId === '" + id + "'))").value_or("");
    };
    EXPECT_EQ(reply("n1"), R"(["net",{"reqId":"n1","ok":true,"status":200,"text":"{\"answer\":\"好/42\"}"}])");
    EXPECT_EQ(reply("n2"),
              R"(["net",{"reqId":"n2","ok":false,"error":"只允许 https 请求（本地 Ollama 可用 http://127.0.0.1）"}])");
    EXPECT_EQ(reply("n3"), R"(["net",{"reqId":"n3","ok":false,"status":404,"text":"{\"error\":\"nope\"}"}])");
    EXPECT_EQ(reply("i1"), R"(["image",{"reqId":"i1","dataUrl":"data:image/png;base64,iVBORw0KGgoBAgME"}])");
    EXPECT_EQ(reply("i2"), R"(["image",{"reqId":"i2","error":"HTTP 404"}])");

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);  // the refused request never left
    auto chat = std::find_if(requests.begin(), requests.end(), [](auto& r) { return r.target == "/chat"; });
    ASSERT_NE(chat, requests.end());
    EXPECT_EQ(chat->body, R"({"q":1})");
    EXPECT_EQ(chat->header("Content-Type"), "application/json");
    EXPECT_TRUE(chat->has("Authorization"));  // written natively from the vault
}

}  // namespace
