// SPDX-License-Identifier: GPL-3.0-or-later
// The reference page's AI panel against a local OpenAI-compatible server that streams, in the real
// web view with the real shell: words appear as they come, Stop ends the stream at once, and an
// endpoint that cannot be used is reported in the panel.
#include <gtest/gtest.h>

#include <condition_variable>

#include "support/gtk_support.h"
#include "support/json_text.h"
#include "support/real_page.h"
#include "support/stream_test_server.h"

namespace {

using testsupport::StreamTestServer;

std::string word(const std::string& w) { return "data: {\"choices\":[{\"delta\":{\"content\":\"" + w + "\"}}]}\n\n"; }

struct AiPanel : testing::Test {
    void SetUp() override {
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        testsupport::recordMessages(shell);
        js("__setLang('en'); $('ai-provider').value = 'openai'; $('ai-key-id').value = ''; true");
    }
    std::string js(const std::string& script) { return shell.eval(script).value_or("<error>"); }
    void send(const std::string& url) {
        js("$('ai-url').value = " + json::write(json::Value(url)).value() +
           "; $('ai-prompt').value = 'hi'; $('ai-send').click(); true");
    }

    testsupport::Shell shell{""};
    StreamTestServer server;
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::atomic<bool> closed{false};
};

TEST_F(AiPanel, WordsAppearAsTheyComeAndStopEndsTheStream) {
    server.handle([&](StreamTestServer::Exchange& x) {
        x.sendHead(200, {"Content-Type: text/event-stream"});
        x.send(word("Hello"));
        x.send(word(" world"));
        {
            std::unique_lock lock(m);
            cv.wait_for(lock, std::chrono::seconds(20), [&] { return release; });
        }
        // Goes on until the client goes away.
        while (x.send(word(" more")))
            if (x.waitForClose(std::chrono::milliseconds(5))) break;
        closed = true;
    });
    send(server.url("/v1/chat/completions"));
    ASSERT_TRUE(shell.waitFor("$('ai-reply').textContent === 'Hello world'")) << js("$('ai-reply').textContent");
    EXPECT_EQ(js("$('ai-stop').disabled"), "false");
    EXPECT_EQ(js("$('ai-send').disabled"), "true");
    auto sent = testsupport::parseJson(js("JSON.stringify(" + testsupport::lastSent("netRequest") + ")"));
    ASSERT_TRUE(sent);
    EXPECT_EQ(*sent->find("stream"), json::Value(true));
    EXPECT_EQ(*testsupport::parseJson(*sent->stringAt("body"))->find("stream"), json::Value(true));
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(shell.waitFor("$('ai-reply').textContent.includes('more')"));

    js("$('ai-stop').click(); true");
    ASSERT_TRUE(shell.waitFor("$('ai-reply').textContent.endsWith('Stopped')")) << js("$('ai-reply').textContent");
    EXPECT_TRUE(testsupport::runUntil([&] { return closed.load(); }, std::chrono::seconds(5)))
        << "the server did not see the close";
    EXPECT_EQ(js("$('ai-send').disabled"), "false");
    EXPECT_EQ(js("$('ai-add').disabled"), "false") << "the partial answer can still go to the board";
    EXPECT_EQ(js(testsupport::lastSent("netCancel") + ".reqId === " + testsupport::lastSent("netRequest") + ".reqId"),
              "true");
}

TEST_F(AiPanel, EndpointIsSentNormalisedOrReportedInThePanel) {
    server.handle([&](StreamTestServer::Exchange& x) {
        x.sendHead(200, {"Content-Type: text/event-stream"});
        x.send(word("ok") + "data: [DONE]\n\n");
        x.end();
    });
    // A space in the path: the shell's strict check would drop the raw text silently.
    send(server.url("/v1/chat completions"));
    ASSERT_TRUE(shell.waitFor("$('ai-reply').textContent === 'ok'")) << js("$('ai-reply').textContent");
    EXPECT_EQ(js(testsupport::lastSent("netRequest") + ".url"), server.url("/v1/chat%20completions"));

    for (const char* bad : {"127.0.0.1:11434/v1/chat/completions", "ftp://127.0.0.1/x", "http://"}) {
        SCOPED_TRACE(bad);
        js("window.__sent.length = 0; true");
        send(bad);
        EXPECT_EQ(js("$('ai-reply').textContent"), js("board.t('badEndpoint')"));
        EXPECT_EQ(js("$('ai-reply').classList.contains('error')"), "true");
        EXPECT_EQ(js("String(" + testsupport::lastSent("netRequest") + ")"), "undefined");
    }
}

}  // namespace
