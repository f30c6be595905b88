// SPDX-License-Identifier: GPL-3.0-or-later
// A stored key goes only where it is bound, end to end: the dispatcher, the proxy, the key gate with
// a question the test answers, libcurl and real servers on loopback that must receive nothing when
// the answer is no.
#include "net_fixture.h"

namespace {

using nettest::Net;
using testsupport::HttpTestServer;

// Answers every question with `next` (later, on the main queue), or holds it when told to.
class ScriptedQuestion final : public net::KeyQuestion {
public:
    explicit ScriptedQuestion(common::MainQueue& queue) : queue_(queue) {}
    std::optional<net::KeyAnswer> next;
    std::vector<std::string> asked;
    std::function<void(net::KeyAnswer)> held;
    int dismissed = 0;
    void ask(const net::KeyQuestionText& text, std::function<void(net::KeyAnswer)> answer) override {
        asked.push_back(text.message);
        if (!next) {
            held = std::move(answer);
            return;
        }
        queue_.post([a = *next, answer = std::move(answer)] { answer(a); });
    }
    void dismiss() override { ++dismissed; }

private:
    common::MainQueue& queue_;
};

struct Bound : Net {
    std::shared_ptr<ScriptedQuestion> question = std::make_shared<ScriptedQuestion>(queue);
    Bound() {
        auto gate = std::make_shared<net::KeyGate>(
            question, [](const std::string& k) { return k; }, secrets);
        access = std::make_shared<net::NetAccess>(client, bridge, secrets, workers, net::NetAccess::Limits{}, gate);
        bridge::addNetCommands(bridge->commands(), access);
    }
    std::optional<json::Value> send(const std::string& reqId, const HttpTestServer& to, const std::string& keyId) {
        return netRequest({{"reqId", reqId}, {"url", to.url("/v1/chat")}, {"auth", json::Object{{"keyId", keyId}}}});
    }
};

std::string text(const std::optional<json::Value>& v, const char* key) {
    auto* s = v ? v->stringAt(key) : nullptr;
    return s ? *s : "<absent>";
}

bool ok(const std::optional<json::Value>& v) {
    auto* b = v ? v->find("ok") : nullptr;
    return b && b->boolean() && *b->boolean();
}

TEST(KeyBinding, AKeyGoesElsewhereOnlyWhenTheUserSaysSo) {
    HttpTestServer home, echo;
    Bound net;
    net.secrets->values["openai"] = "sk-home-secret";
    net.secrets->origins["openai"] = {home.origin()};

    auto atHome = net.send("r1", home, "openai");
    EXPECT_TRUE(ok(atHome)) << text(atHome, "error");
    EXPECT_EQ(home.requests().back().header("Authorization"), "Bearer sk-home-secret");
    EXPECT_TRUE(net.question->asked.empty());

    // Don't allow: refused with a clear error, and the echo server never hears of it; asked once.
    net.question->next = net::KeyAnswer::DontAllow;
    for (const char* reqId : {"r2", "r3"}) {
        auto refused = net.send(reqId, echo, "openai");
        ASSERT_TRUE(refused);
        EXPECT_FALSE(ok(refused));
        EXPECT_EQ(text(refused, "error"), net::NetAccess::kKeyRefusedText);
        EXPECT_EQ(refused->find("status"), nullptr);
        EXPECT_EQ(echo.connections(), 0);
    }
    EXPECT_EQ(net.question->asked.size(), 1u);
    EXPECT_NE(net.question->asked[0].find("“openai”"), std::string::npos) << net.question->asked[0];
    EXPECT_NE(net.question->asked[0].find("127.0.0.1:" + std::to_string(echo.port())), std::string::npos);
    // The same host without the key is no business of the gate.
    EXPECT_TRUE(ok(net.netRequest({{"reqId", "r4"}, {"url", echo.url("/")}})));

    // A key bound nowhere goes, unasked, to the first origin it is sent to; elsewhere it asks, and
    // Always allow sends it and binds it there too.
    net.secrets->values["fresh"] = "sk-fresh-secret";
    EXPECT_TRUE(ok(net.send("r5", echo, "fresh")));
    EXPECT_EQ(net.question->asked.size(), 1u);
    net.question->next = net::KeyAnswer::AlwaysAllow;
    EXPECT_TRUE(ok(net.send("r6", home, "fresh")));
    EXPECT_EQ(home.requests().back().header("Authorization"), "Bearer sk-fresh-secret");
    EXPECT_EQ(net.question->asked.size(), 2u);
    net.queue.runAll();
    EXPECT_EQ(net.secrets->origins["fresh"], (std::vector<std::string>{echo.origin(), home.origin()}));

    // A key that is sent nowhere (scheme "none") asks nothing.
    auto none = net.netRequest(
        {{"reqId", "r7"}, {"url", echo.url("/")}, {"auth", json::Object{{"keyId", "openai"}, {"scheme", "none"}}}});
    EXPECT_TRUE(ok(none));
    EXPECT_EQ(net.question->asked.size(), 2u);
}

TEST(KeyBinding, CancellingARequestThatWaitsForTheAnswerClosesTheQuestion) {
    HttpTestServer home, echo;
    Bound net;
    net.secrets->values["openai"] = "sk-home-secret";
    net.secrets->origins["openai"] = {home.origin()};
    net.bridge->receive(json::Object{{"action", "netRequest"},
                                     {"reqId", "c1"},
                                     {"url", echo.url("/")},
                                     {"auth", json::Object{{"keyId", "openai"}}}});
    ASSERT_TRUE(net.queue.runUntil([&] { return static_cast<bool>(net.question->held); }));
    auto cancelled = net.call(json::Object{{"action", "netCancel"}, {"reqId", "c1"}}, "window.__netReply(", ")");
    EXPECT_EQ(text(cancelled, "error"), "cancelled");
    EXPECT_EQ(net.question->dismissed, 1);
    net.question->held(net::KeyAnswer::AllowOnce);  // too late: nobody listens
    net.queue.runAll();
    EXPECT_EQ(echo.connections(), 0);
}

}  // namespace
