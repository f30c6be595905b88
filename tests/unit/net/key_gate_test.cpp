// SPDX-License-Identifier: GPL-3.0-or-later
// Where a stored key may go: the decisions, the question's texts, and the queue of questions, with
// a question that answers only when the test says so.
#include "net/key_gate.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

using net::KeyAnswer;

class HeldQuestion final : public net::KeyQuestion {
public:
    struct Asked {
        net::KeyQuestionText text;
        std::function<void(KeyAnswer)> answer;
    };
    std::deque<Asked> open;
    int dismissed = 0;
    void ask(const net::KeyQuestionText& text, std::function<void(KeyAnswer)> answer) override {
        open.push_back({text, std::move(answer)});
    }
    void dismiss() override { ++dismissed; }
    void answer(KeyAnswer a) {
        auto asked = std::move(open.front());
        open.pop_front();
        asked.answer(a);
    }
};

class RecordingSecrets final : public vault::SecretSource {
public:
    std::vector<std::string> allowed;
    Ticket get(const std::string&, const std::string&, Answer) override { return 0; }
    void cancel(Ticket) override {}
    void allow(const std::string& keyId, const std::string& origin) override {
        allowed.push_back(keyId + " " + origin);
    }
};

// English texts with the placeholders of the real ones, so the test reads what the user reads.
std::string english(const std::string& key) {
    if (key == "要把密钥“{key}”发送到 {host} 吗？") return "Send the key \"{key}\" to {host}?";
    if (key == "这个密钥只用于 {hosts}。只有信任这个主机时才允许。") return "This key is meant for {hosts}.";
    return key;
}

struct Gate {
    std::shared_ptr<HeldQuestion> question = std::make_shared<HeldQuestion>();
    std::shared_ptr<RecordingSecrets> secrets = std::make_shared<RecordingSecrets>();
    std::shared_ptr<net::KeyGate> gate = std::make_shared<net::KeyGate>(question, english, secrets);
    std::vector<std::string> answers;
    const std::vector<std::string> bound{"https://api.example.com"};

    net::KeyGate::Ticket check(const std::string& label, const std::string& keyId, const std::string& origin) {
        return gate->check(keyId, origin, bound,
                           [this, label](bool send) { answers.push_back(label + (send ? ":send" : ":refused")); });
    }
};

using Answers = std::vector<std::string>;

TEST(KeyGate, BoundOriginsGoAtOnceAndOthersWaitForTheAnswer) {
    struct Case {
        const char* name;
        KeyAnswer answer;
        Answers afterAnswer;
        Answers askedAgain;  // a later request for the same key and origin
        bool remembered;
    };
    const Case cases[] = {
        {"allow once", KeyAnswer::AllowOnce, {"a:send", "b:send"}, {}, false},
        {"always allow", KeyAnswer::AlwaysAllow, {"a:send", "b:send"}, {"c:send"}, true},
        {"don't allow", KeyAnswer::DontAllow, {"a:refused", "b:refused"}, {"c:refused"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Gate g;
        g.check("home", "openai", "https://api.example.com");
        EXPECT_EQ(g.answers, Answers{"home:send"});
        EXPECT_TRUE(g.question->open.empty());
        g.answers.clear();

        // Two requests for one key and host share one question.
        g.check("a", "openai", "https://echo.test");
        g.check("b", "openai", "https://echo.test");
        ASSERT_EQ(g.question->open.size(), 1u);
        EXPECT_EQ(g.question->open.front().text.message, "Send the key \"openai\" to echo.test?");
        EXPECT_EQ(g.question->open.front().text.detail, "This key is meant for api.example.com.");
        EXPECT_TRUE(g.answers.empty());
        g.question->answer(c.answer);
        EXPECT_EQ(g.answers, c.afterAnswer);
        EXPECT_EQ(g.secrets->allowed, c.remembered ? Answers{"openai https://echo.test"} : Answers{});

        g.answers.clear();
        g.check("c", "openai", "https://echo.test");
        EXPECT_EQ(g.answers, c.askedAgain);
        EXPECT_EQ(g.question->open.size(), c.askedAgain.empty() ? 1u : 0u) << "asked again only after Allow once";
    }
}

TEST(KeyGate, QuestionsComeOneAtATimeAndOneNobodyWaitsForCloses) {
    Gate g;
    auto a = g.check("a", "openai", "https://one.test");
    g.check("b", "openai", "https://two.test");
    g.check("c", "other", "https://one.test");  // another key is another question
    ASSERT_EQ(g.question->open.size(), 1u);

    // The page gives up on the request being asked about: its question closes, the next one shows,
    // and the closed one's late answer changes nothing.
    auto stale = std::move(g.question->open.front());
    g.question->open.pop_front();
    g.gate->cancel(a);
    EXPECT_EQ(g.question->dismissed, 1);
    stale.answer(KeyAnswer::AlwaysAllow);
    EXPECT_TRUE(g.answers.empty());
    EXPECT_TRUE(g.secrets->allowed.empty());
    ASSERT_EQ(g.question->open.size(), 1u);
    EXPECT_EQ(g.question->open.front().text.message, "Send the key \"openai\" to two.test?");

    g.question->answer(KeyAnswer::DontAllow);
    ASSERT_EQ(g.question->open.size(), 1u);
    EXPECT_EQ(g.question->open.front().text.message, "Send the key \"other\" to one.test?");
    g.question->answer(KeyAnswer::AllowOnce);
    EXPECT_EQ(g.answers, (Answers{"b:refused", "c:send"}));
}

TEST(KeyGate, WithoutAQuestionAKeyGoesOnlyWhereItIsBound) {
    auto gate = std::make_shared<net::KeyGate>(nullptr, english, nullptr);
    std::vector<bool> sent;
    gate->check("k", "https://api.example.com", {"https://api.example.com"}, [&](bool s) { sent.push_back(s); });
    gate->check("k", "https://echo.test", {"https://api.example.com"}, [&](bool s) { sent.push_back(s); });
    EXPECT_EQ(sent, (std::vector<bool>{true, false}));
}

TEST(KeyGate, TheQuestionShowsTheKeyIdAsNothingElse) {
    struct Case {
        std::string keyId;
        std::string shown;
    };
    const Case cases[] = {
        {"openai", "openai"},
        // A line break or a direction mark could make the question read as about another host.
        {"k\" to api.example.com?\n\nx", "k\" to api.example.com?\uFFFD\uFFFDx"},
        {"a\u202Emoc.elpmaxe.ipa", "a\uFFFDmoc.elpmaxe.ipa"},
        {"键\u2028名", "键\uFFFD名"},
        {std::string(60, 'x'), std::string(48, 'x') + "\u2026"},
        {std::string(48, 'x'), std::string(48, 'x')},
    };
    for (const auto& c : cases) {
        auto text =
            net::keyQuestionText(english, c.keyId, "http://localhost:11434", {"https://a.test", "https://b.test"});
        EXPECT_EQ(text.message, "Send the key \"" + c.shown + "\" to localhost:11434?") << c.keyId;
        EXPECT_EQ(text.detail, "This key is meant for a.test, b.test.");
    }
}

}  // namespace
