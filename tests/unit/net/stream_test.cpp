// SPDX-License-Identifier: GPL-3.0-or-later
// Streamed and cancelled requests, and idle time limits, end to end: dispatcher, proxy, libcurl
// and a loopback server that writes at its own pace.
#include <condition_variable>

#include "net/transport_policy.h"
#include "net/utf8_stream.h"
#include "net_fixture.h"
#include "support/json_text.h"
#include "support/stream_test_server.h"

namespace {

using nettest::Net;
using testsupport::StreamTestServer;
using namespace std::chrono_literals;

const std::string kChunkPrefix = "window.__netChunk && window.__netChunk(";
const std::string kReplyPrefix = "window.__netReply(";

// The page calls a test saw, split by kind, in the order they came.
struct Calls {
    std::vector<json::Value> chunks;
    std::vector<json::Value> replies;
    bool chunkAfterReply = false;
};

Calls calls(const fakes::RecordingPage& page) {
    Calls out;
    for (auto& s : page.scripts) {
        for (auto* prefix : {&kChunkPrefix, &kReplyPrefix}) {
            if (s.rfind(*prefix, 0) != 0) continue;
            auto v = testsupport::parseJson(s.substr(prefix->size(), s.size() - prefix->size() - 1));
            EXPECT_TRUE(v) << s;
            if (!v) continue;
            if (prefix == &kChunkPrefix) {
                out.chunkAfterReply = out.chunkAfterReply || !out.replies.empty();
                out.chunks.push_back(*v);
            } else {
                out.replies.push_back(*v);
            }
        }
    }
    return out;
}

std::string joined(const std::vector<json::Value>& chunks) {
    std::string all;
    for (auto& c : chunks) all += *c.stringAt("text");
    return all;
}

// A flag the server thread waits on and the test raises.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    void release() {
        {
            std::lock_guard lock(m);
            open = true;
        }
        cv.notify_all();
    }
    bool wait(std::chrono::milliseconds limit = 20s) {
        std::unique_lock lock(m);
        return cv.wait_for(lock, limit, [&] { return open; });
    }
};

// Runs the main queue until `done`, also when what it waits for happens on a server thread (the
// queue alone would only look again when a task arrives).
bool waitFor(Net& net, const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!net.queue.runUntil(done, 10ms))
        if (std::chrono::steady_clock::now() > deadline) return false;
    return true;
}

json::Value netRequest(const std::string& reqId, const std::string& url, bool stream,
                       const std::string& method = "POST") {
    return json::Object{{"action", "netRequest"}, {"reqId", reqId}, {"url", url},
                        {"method", method},       {"body", "{}"},   {"stream", stream}};
}

json::Value netCancel(json::Value reqId) { return json::Object{{"action", "netCancel"}, {"reqId", std::move(reqId)}}; }

TEST(Utf8Stream, HoldsBackSplitCharactersAndReplacesIllFormedBytes) {
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case {
        std::vector<std::string> pieces;
        std::vector<std::string> outputs;  // one per piece, then the finish
    };
    const std::vector<Case> cases = {
        {{"ab", "c"}, {"ab", "c", ""}},
        // A 4-byte character cut after each of its bytes.
        {{"x\xF0", "\x9F\x98\x80y"}, {"x", "\xF0\x9F\x98\x80y", ""}},
        {{"\xF0\x9F", "\x98\x80"}, {"", "\xF0\x9F\x98\x80", ""}},
        {{"\xF0\x9F\x98", "\x80"}, {"", "\xF0\x9F\x98\x80", ""}},
        {{"\xF0", "\x9F", "\x98", "\x80"}, {"", "", "", "\xF0\x9F\x98\x80", ""}},
        {{"\xE4\xB8", "\xAD\xE6\x96\x87"}, {"", "中文", ""}},
        // Ill-formed: a stray continuation, bytes that never start a character, an overlong form,
        // a surrogate, beyond U+10FFFF, a lead cut off by ASCII, and an end in mid-character.
        {{"a\x80"
          "b"},
         {"a" + fffd + "b", ""}},
        {{"\xC0\x80\xFF"}, {fffd + fffd + fffd, ""}},
        {{"\xE0\x80\x80"}, {fffd + fffd + fffd, ""}},
        {{"\xED\xA0\x80"}, {fffd + fffd + fffd, ""}},
        {{"\xF4\x90\x80\x80"}, {fffd + fffd + fffd + fffd, ""}},
        {{"\xE4\xB8", "x"}, {"", fffd + "x", ""}},
        {{"ok\xF0\x9F\x98"}, {"ok", fffd}},
    };
    for (auto& c : cases) {
        net::Utf8Stream stream;
        std::vector<std::string> got;
        for (auto& p : c.pieces) got.push_back(stream.feed(p));
        got.push_back(stream.finish());
        EXPECT_EQ(got, c.outputs) << testing::PrintToString(c.pieces);
    }
}

TEST(StreamedRequest, ChunksArriveBeforeTheEndInOrderAndAddUpToTheBody) {
    StreamTestServer server;
    Gate firstSeen;
    const std::string smile = "\xF0\x9F\x98\x80";
    std::string body;
    server.handle([&](StreamTestServer::Exchange& x) {
        x.sendHead(201, {"Content-Type: text/event-stream"});
        // The first write ends inside a 4-byte character; the rest comes once the page has shown
        // what it had, so the chunk cannot have waited for the end.
        x.send("data: hello " + smile.substr(0, 2));
        firstSeen.wait();
        x.send(smile.substr(2) + " world\n\n");
        for (int i = 0; i < 5; ++i) x.send("data: " + std::to_string(i) + "\n\n");
        x.end();
    });
    body = "data: hello " + smile + " world\n\n";
    for (int i = 0; i < 5; ++i) body += "data: " + std::to_string(i) + "\n\n";

    Net net;
    net.bridge->receive(netRequest("s1", server.url("/v1/chat"), true));
    ASSERT_TRUE(net.queue.runUntil([&] { return !calls(*net.page).chunks.empty(); }));
    Calls early = calls(*net.page);
    EXPECT_TRUE(early.replies.empty());
    EXPECT_EQ(*early.chunks[0].stringAt("text"), "data: hello ") << "half a character reached the page";
    firstSeen.release();
    ASSERT_TRUE(net.queue.runUntil([&] { return !calls(*net.page).replies.empty(); }));
    net.queue.runUntil([] { return false; }, 50ms);

    Calls got = calls(*net.page);
    ASSERT_EQ(got.replies.size(), 1u);
    EXPECT_EQ(got.replies[0],
              (json::Value(json::Object{{"reqId", "s1"}, {"ok", true}, {"status", 201}, {"text", ""}})));
    EXPECT_FALSE(got.chunkAfterReply);
    EXPECT_EQ(joined(got.chunks), body);
    for (std::size_t i = 0; i < got.chunks.size(); ++i) {
        EXPECT_EQ(*got.chunks[i].stringAt("reqId"), "s1");
        EXPECT_EQ(*got.chunks[i].find("seq")->number(), static_cast<double>(i));
        // Only the first chunk carries the status.
        EXPECT_EQ(got.chunks[i].find("status") != nullptr, i == 0);
    }
    EXPECT_EQ(*got.chunks[0].find("status")->number(), 201);
}

TEST(StreamedRequest, ManySmallWritesAreCoalescedNotOneCallPerRead) {
    StreamTestServer server;
    server.handle([&](StreamTestServer::Exchange& x) {
        x.sendHead(200);
        for (int i = 0; i < 300; ++i) {
            x.send("data: " + std::to_string(i) + "\n\n");
            std::this_thread::sleep_for(1ms);  // the server's pace: separate network reads
        }
        x.end();
    });
    Net net;
    net.bridge->receive(netRequest("c", server.url(), true));
    ASSERT_TRUE(net.queue.runUntil([&] { return !calls(*net.page).replies.empty(); }));
    Calls got = calls(*net.page);
    std::string body;
    for (int i = 0; i < 300; ++i) body += "data: " + std::to_string(i) + "\n\n";
    EXPECT_EQ(joined(got.chunks), body);
    // About 300 ms of writes: at one call per frame that is around 20 calls, not 300.
    EXPECT_GE(got.chunks.size(), 2u);
    EXPECT_LT(got.chunks.size(), 100u);
}

TEST(StreamedRequest, CancelMidStreamClosesTheConnectionAndAnswersOnce) {
    StreamTestServer server;
    std::atomic<bool> closed{false};
    server.handle([&](StreamTestServer::Exchange& x) {
        x.sendHead(200);
        // Keeps sending until the client goes away.
        while (x.send("data: tick\n\n")) {
            if (x.waitForClose(5ms)) break;
        }
        closed = true;
    });
    Net net;
    net.bridge->receive(netRequest("c1", server.url(), true));
    ASSERT_TRUE(net.queue.runUntil([&] { return calls(*net.page).chunks.size() >= 2; }));
    net.bridge->receive(netCancel("c1"));
    std::size_t chunksAtCancel = calls(*net.page).chunks.size();
    ASSERT_TRUE(waitFor(
        net, [&] { return closed.load(); }, 5s))
        << "the server never saw the close";
    net.queue.runUntil([] { return false; }, 100ms);

    Calls got = calls(*net.page);
    ASSERT_EQ(got.replies.size(), 1u);
    EXPECT_EQ(got.replies[0], (json::Value(json::Object{{"reqId", "c1"}, {"ok", false}, {"error", "cancelled"}})));
    EXPECT_FALSE(got.chunkAfterReply);
    EXPECT_EQ(got.chunks.size(), chunksAtCancel);
}

TEST(StreamedRequest, CancelEndsANonStreamedRequestAndIgnoresWhatItCannotEnd) {
    StreamTestServer server;
    std::atomic<int> arrived{0};
    std::atomic<int> closed{0};
    server.handle([&](StreamTestServer::Exchange& x) {
        ++arrived;
        x.sendHead(200, {"Content-Length: 100"});
        x.send("partial");
        if (x.waitForClose(20s)) ++closed;
    });
    Net net;
    // Two requests share a reqId by the page's choice: cancel ends both.
    net.bridge->receive(netRequest("same", server.url(), false));
    net.bridge->receive(netRequest("same", server.url(), false, "GET"));
    ASSERT_TRUE(waitFor(net, [&] { return arrived == 2; }));
    // Malformed or unknown: ignored without a reply.
    for (auto& bad : {json::Value(1), json::Value(nullptr), json::Value("other"), json::Value(json::Array{"same"})})
        net.bridge->receive(netCancel(bad));
    net.bridge->receive(json::Object{{"action", "netCancel"}});
    net.queue.runUntil([] { return false; }, 100ms);
    EXPECT_TRUE(net.page->scripts.empty()) << net.page->scripts.front();

    net.bridge->receive(netCancel("same"));
    ASSERT_TRUE(waitFor(
        net, [&] { return closed == 2; }, 5s));
    net.bridge->receive(netCancel("same"));  // already finished
    net.queue.runUntil([] { return false; }, 100ms);
    Calls got = calls(*net.page);
    EXPECT_TRUE(got.chunks.empty());
    ASSERT_EQ(got.replies.size(), 2u);
    for (auto& r : got.replies)
        EXPECT_EQ(r, (json::Value(json::Object{{"reqId", "same"}, {"ok", false}, {"error", "cancelled"}})));
}

TEST(StreamedRequest, ACancelledRequestIsNeverAnsweredWhereverItWas) {
    testsupport::HttpTestServer server;
    fakes::ManualQueue queue;
    net::CurlHttpClient client(queue);
    int cancelledAnswers = 0;
    // Cancelled at once: most are still queued for the network thread, some already connecting.
    for (int i = 0; i < 50; ++i) {
        net::HttpRequest req;
        req.url = server.url("/c" + std::to_string(i));
        req.onBody = [&](long, std::string) { ++cancelledAnswers; };
        auto ticket = client.send(std::move(req), [&](net::HttpResponse) { ++cancelledAnswers; });
        client.cancel(ticket);
        client.cancel(ticket);  // twice: ignored
    }
    client.cancel(987654);  // unknown: ignored
    std::optional<net::HttpResponse> after;
    net::HttpRequest req;
    req.url = server.url("/after");
    client.send(std::move(req), [&](net::HttpResponse r) { after = std::move(r); });
    ASSERT_TRUE(queue.runUntil([&] { return after.has_value(); }));
    EXPECT_EQ(after->outcome, net::HttpResponse::Outcome::Done);
    queue.runUntil([] { return false; }, 100ms);
    EXPECT_EQ(cancelledAnswers, 0);
}

TEST(StreamedRequest, RedirectsAndRefusalsBehaveAsWithoutStreaming) {
    testsupport::HttpTestServer server;
    server.handle([](const testsupport::ReceivedRequest& r) {
        if (r.target == "/moved") return testsupport::ScriptedResponse{302, {{"Location", "/final"}}, "moved here"};
        return testsupport::ScriptedResponse{200, {}, "final body"};
    });
    const std::string refused = "http://127.0.0.2:" + std::to_string(server.port()) + "/";
    for (bool stream : {false, true}) {
        SCOPED_TRACE(stream ? "stream" : "whole");
        Net net;
        net.bridge->receive(netRequest("r", server.url("/moved"), stream, "GET"));
        ASSERT_TRUE(net.queue.runUntil([&] { return !calls(*net.page).replies.empty(); }));
        Calls got = calls(*net.page);
        EXPECT_EQ(joined(got.chunks), stream ? "final body" : "");
        EXPECT_EQ(got.replies[0],
                  (json::Value(json::Object{
                      {"reqId", "r"}, {"ok", true}, {"status", 200}, {"text", stream ? "" : "final body"}})));

        net.page->scripts.clear();
        net.bridge->receive(netRequest("x", refused, stream));
        ASSERT_TRUE(net.queue.runUntil([&] { return !calls(*net.page).replies.empty(); }));
        got = calls(*net.page);
        EXPECT_TRUE(got.chunks.empty());
        EXPECT_EQ(got.replies[0],
                  (json::Value(json::Object{{"reqId", "x"}, {"ok", false}, {"error", net::kRefusalText}})));
    }
    EXPECT_EQ(server.requests().size(), 4u) << "a refused URL reached the server";
}

// The limits are shortened so a trickle that outlasts them takes seconds, not minutes.
TEST(IdleLimit, ASlowButSteadyTransferFinishesAndASilentOneTimesOut) {
    StreamTestServer server;
    const std::string image = "\x89PNG\r\n\x1a\n" + std::string(3992, 'p');
    const std::string text(4000, 't');
    server.handle([&](StreamTestServer::Exchange& x) {
        bool stall = x.target.find("stall") != std::string::npos;
        const std::string& body = x.target.find(".png") != std::string::npos ? image : text;
        x.sendHead(200, {"Content-Length: " + std::to_string(body.size())});
        // 1.5 s in all, well past the 300 ms idle limit, but never 300 ms without a byte.
        for (std::size_t at = 0; at < body.size(); at += 400) {
            if (!x.send(body.substr(at, 400))) return;
            if (stall && at > 0) {
                x.waitForClose(10s);
                return;
            }
            std::this_thread::sleep_for(150ms);
        }
    });
    Net net;
    net.access = std::make_shared<net::NetAccess>(net.client, net.bridge, net.secrets, net.workers,
                                                  net::NetAccess::Limits{300ms, 60s, 300ms, 60s});
    bridge::addNetCommands(net.bridge->commands(), net.access);

    auto img = net.fetchImage(server.url("/trickle.png"));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->stringAt("dataUrl") ? img->stringAt("dataUrl")->size() : 0u,
              std::string("data:image/png;base64,").size() + (image.size() + 2) / 3 * 4)
        << json::write(*img).value_or("");
    auto reply = net.netRequest({{"reqId", "t"}, {"url", server.url("/trickle")}, {"method", "GET"}});
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, (json::Value(json::Object{{"reqId", "t"}, {"ok", true}, {"status", 200}, {"text", text}})));

    for (bool stream : {false, true}) {
        net.page->scripts.clear();
        net.bridge->receive(netRequest("s", server.url("/stall"), stream, "GET"));
        ASSERT_TRUE(net.queue.runUntil([&] { return !calls(*net.page).replies.empty(); }));
        Calls got = calls(*net.page);
        auto* error = got.replies[0].stringAt("error");
        ASSERT_TRUE(error);
        EXPECT_NE(error->find("timed out"), std::string::npos) << *error;
        // What arrived before the silence reached the page.
        EXPECT_EQ(joined(got.chunks), stream ? text.substr(0, 800) : "");
    }
    auto stalledImage = net.fetchImage(server.url("/stall.png"));
    ASSERT_TRUE(stalledImage && stalledImage->stringAt("error"));
    EXPECT_NE(stalledImage->stringAt("error")->find("timed out"), std::string::npos);
}

TEST(IdleLimit, HeadNeverWaitsForABody) {
    StreamTestServer server;
    std::string seenMethod;
    server.handle([&](StreamTestServer::Exchange& x) {
        seenMethod = x.method;
        x.sendHead(200, {"Content-Length: 5000"});
        x.waitForClose(30s);  // no body follows a HEAD response
    });
    Net net;  // the real limits: a wait for the body would outlast the test's patience
    auto r = net.call(json::Object{{"action", "netRequest"},
                                   {"reqId", "h"},
                                   {"url", server.url("/")},
                                   {"method", "HEAD"},
                                   {"body", "ignored"}},
                      kReplyPrefix, ")", 5s);
    ASSERT_TRUE(r) << "HEAD waited for a body";
    EXPECT_EQ(*r, (json::Value(json::Object{{"reqId", "h"}, {"ok", true}, {"status", 200}, {"text", ""}})));
    EXPECT_EQ(seenMethod, "HEAD");
}

}  // namespace
