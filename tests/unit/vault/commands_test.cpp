// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "bridge/bridge.h"
#include "common/json.h"
#include "fakes/fakes.h"
#include "support/json_text.h"
#include "vault/vault_commands.h"
#include "vault_fixture.h"

namespace {

// A fixture whose files are staged before the vault first reads them.
struct Staged : vaulttest::VaultFixture {
    explicit Staged(const std::function<void(VaultFixture&)>& stage) {
        if (stage) stage(*this);
    }
};

// The commands as the page sends them: through the dispatcher, answered on the main queue.
struct Page : Staged {
    explicit Page(const std::function<void(VaultFixture&)>& stage = {}) : Staged(stage) {
        bridge::addVaultCommands(bridge->commands(), commands);
    }

    fakes::ManualQueue queue;
    std::shared_ptr<fakes::RecordingPage> page = std::make_shared<fakes::RecordingPage>();
    std::shared_ptr<bridge::Bridge> bridge = std::make_shared<bridge::Bridge>(queue, page);
    std::shared_ptr<vault::VaultService> service =
        std::make_shared<vault::VaultService>(std::shared_ptr<vault::Vault>(open()), queue);

    std::shared_ptr<vault::VaultCommandHandler> commands =
        std::make_shared<vault::VaultCommandHandler>(service, bridge);

    // Sends one command; returns the reply scripts.
    std::vector<std::string> sendRaw(const json::Value& message) {
        page->scripts.clear();
        bridge->receive(message);
        EXPECT_TRUE(page->scripts.empty()) << "replies wait for the main queue";
        vaulttest::drain(*service, queue);
        return page->scripts;
    }
    json::Value send(const char* text) {
        auto scripts = sendRaw(*testsupport::parseJson(text));
        EXPECT_EQ(scripts.size(), 1u) << text;
        if (scripts.size() != 1) return {};
        const std::string& s = scripts[0];
        const std::string prefix = "window.__vaultReply(";
        EXPECT_EQ(s.rfind(prefix, 0), 0u) << s;
        EXPECT_EQ(s.back(), ')');
        auto reply = testsupport::parseJson(std::string_view(s).substr(prefix.size(), s.size() - prefix.size() - 1));
        EXPECT_TRUE(reply && reply->object()) << s;
        return reply ? *reply : json::Value();
    }
};

json::Value reply(std::string reqId, std::string keyId, bool ok, bool has, std::string hint, std::string backend) {
    return json::Object{{"reqId", std::move(reqId)}, {"keyId", std::move(keyId)},    {"ok", ok}, {"has", has},
                        {"hint", std::move(hint)},   {"backend", std::move(backend)}};
}

TEST(VaultCommands, RepliesHaveOneShape) {
    Page p;
    const std::string hint12 = "sk-\u2026WXYZ";
    struct Case {
        const char* message;
        json::Value expected;
    } cases[] = {
        {R"({"action":"vaultSet","reqId":"r1","keyId":"openai","value":"sk-abcdeWXYZ"})",
         reply("r1", "openai", true, true, hint12, "keychain")},
        {R"({"action":"vaultStatus","reqId":"r2","keyId":"openai"})",
         reply("r2", "openai", true, true, hint12, "keychain")},
        {R"({"action":"vaultStatus","keyId":"unknown"})", reply("", "unknown", true, false, "", "keychain")},
        {R"({"action":"vaultStatus"})", reply("", "", true, false, "", "keychain")},
        {R"({"action":"vaultStatus","keyId":7,"reqId":7})", reply("", "", true, false, "", "keychain")},
        // A refused call still describes the value that was sent.
        {R"({"action":"vaultSet","keyId":"","value":"abc"})",
         reply("", "", false, true, "\u2022\u2022\u2022", "keychain")},
        {R"({"action":"vaultDelete","reqId":"r3","keyId":"never-stored"})",
         reply("r3", "never-stored", true, false, "", "keychain")},
        {R"({"action":"vaultDelete","keyId":""})", reply("", "", false, false, "", "keychain")},
        // No value, or one that is not a string, deletes.
        {R"({"action":"vaultSet","keyId":"openai"})", reply("", "openai", true, false, "", "keychain")},
        {R"({"action":"vaultStatus","keyId":"openai"})", reply("", "openai", true, false, "", "keychain")},
    };
    for (const auto& c : cases) EXPECT_EQ(p.send(c.message), c.expected) << c.message;

    // Without a string key id, set and delete drop the message.
    for (const char* dropped : {R"({"action":"vaultSet","value":"x"})", R"({"action":"vaultDelete","keyId":1})"})
        EXPECT_TRUE(p.sendRaw(*testsupport::parseJson(dropped)).empty()) << dropped;
}

TEST(VaultCommands, ListAndBackendFollowTheStores) {
    Page p;
    auto keys = [](json::Value r) { return *r.find("keys"); };
    EXPECT_EQ(keys(p.send(R"({"action":"vaultList","reqId":"L"})")), json::Value(json::Array{}));
    EXPECT_EQ(*p.send(R"({"action":"vaultList","reqId":"L"})").stringAt("reqId"), "L");
    for (const char* id : {"m", "a", "z"}) {
        std::string msg = std::string(R"({"action":"vaultSet","keyId":")") + id + R"(","value":"v"})";
        p.send(msg.c_str());
    }
    auto list = p.send(R"({"action":"vaultList"})");
    EXPECT_EQ(keys(list), json::Value(json::Array{"a", "m", "z"}));
    EXPECT_EQ(*list.stringAt("keyId"), "");

    p.keychain->refuseAdds = vault::KeychainError{3, "locked"};
    auto set = p.send(R"({"action":"vaultSet","keyId":"b","value":"file-only"})");
    EXPECT_EQ(*set.find("ok"), json::Value(true));
    EXPECT_EQ(*set.stringAt("backend"), "file");
    EXPECT_EQ(*p.send(R"({"action":"vaultDelete","keyId":"b"})").stringAt("backend"), "file");
}

// Every string a reply carries, at any depth.
void collectStrings(const json::Value& v, std::vector<std::string>& out) {
    if (auto* s = v.string()) out.push_back(*s);
    if (auto* a = v.array())
        for (const auto& e : *a) collectStrings(e, out);
    if (auto* o = v.object())
        for (const auto& [k, e] : *o) out.push_back(k), collectStrings(e, out);
}

TEST(VaultCommands, NoReplyEverCarriesASecret) {
    std::mt19937 rng(20261210);
    // Characters that JSON escapes, that join into clusters, and that are not ASCII. The hint's own
    // bullet and ellipsis are left out so that a value cannot be found in a hint by coincidence.
    const std::vector<std::string> alphabet = {"a",      "Z",          "0",      "-",      "/",  "\"", "\\", " ",
                                               "\u00e9", "\U0001F511", "\u200D", "\u0301", "\n", "<",  "'",  "\t"};
    auto randomText = [&](int minLen, int maxLen) {
        std::string s;
        int n = std::uniform_int_distribution<int>(minLen, maxLen)(rng);
        for (int i = 0; i < n; ++i)
            s += alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)];
        return s;
    };
    Page p;
    std::vector<std::string> values;
    for (int round = 0; round < 200; ++round) {
        if (round == 100) p.keychain->refuseAdds = vault::KeychainError{9, "refused"};
        const std::string keyId = "key-" + std::to_string(round) + randomText(0, 3);
        const std::string value = randomText(3, 40);
        values.push_back(value);
        std::vector<json::Value> messages = {
            json::Object{{"action", "vaultSet"}, {"keyId", keyId}, {"value", value}, {"reqId", "r"}},
            json::Object{{"action", "vaultStatus"}, {"keyId", keyId}},
            json::Object{{"action", "vaultList"}},
        };
        if (round % 2) messages.push_back(json::Object{{"action", "vaultDelete"}, {"keyId", keyId}});
        const std::string escaped = *json::write(json::Array{value});  // ["…"], as it would appear
        for (const auto& m : messages) {
            for (const auto& script : p.sendRaw(m)) {
                EXPECT_EQ(script.find(escaped.substr(2, escaped.size() - 4)), std::string::npos) << script;
                auto parsed = testsupport::parseJson(std::string_view(script).substr(20, script.size() - 21));
                ASSERT_TRUE(parsed) << script;
                std::vector<std::string> strings;
                collectStrings(*parsed, strings);
                for (const auto& s : strings)
                    if (s.find(keyId) == std::string::npos) {
                        EXPECT_EQ(s.find(value), std::string::npos) << s;
                    }
            }
        }
    }
    EXPECT_EQ(p.logs.size(), 100u);
    for (const auto& line : p.logs)
        for (const auto& value : values) EXPECT_EQ(line.find(value), std::string::npos) << line;
}

// Credential reads share the commands' queue: a read sees every write issued before it, and a
// cancelled read never answers.
TEST(VaultCommands, SecretReadsFollowEarlierCommandsAndCanBeCancelled) {
    Page p;
    std::vector<std::string> answers;
    auto record = [&](vault::SecretSource::Key k) { answers.push_back(k.secret.value_or("<none>")); };
    p.bridge->receive(*testsupport::parseJson(R"({"action":"vaultSet","keyId":"k","value":"first"})"));
    p.service->get("k", "", record);
    p.bridge->receive(*testsupport::parseJson(R"({"action":"vaultSet","keyId":"k","value":"second"})"));
    auto cancelled = p.service->get("k", "", record);
    p.bridge->receive(*testsupport::parseJson(R"({"action":"vaultDelete","keyId":"k"})"));
    p.service->get("k", "", record);
    p.service->cancel(cancelled);
    EXPECT_TRUE(answers.empty()) << "answers come later, never inside get()";
    ASSERT_TRUE(vaulttest::drain(*p.service, p.queue));
    EXPECT_EQ(answers, (std::vector<std::string>{"first", "<none>"}));
    EXPECT_EQ(p.page->scripts.size(), 3u);
}

// Where a key may go: set with the key, kept across a restart, bound at first use in the same step
// as the read (so two first requests cannot both bind it), widened by allow(), gone with the key.
TEST(VaultCommands, OriginsTravelWithTheKey) {
    Page p;
    using Origins = std::vector<std::string>;
    auto originsAfter = [&](const char* message) {
        p.send(message);
        vault::SecretSource::Key got;
        p.service->get("k", "", [&](vault::SecretSource::Key k) { got = std::move(k); });
        EXPECT_TRUE(vaulttest::drain(*p.service, p.queue));
        return got.origins;
    };
    struct Case {
        const char* message;
        Origins origins;
    };
    const Case cases[] = {
        // URLs of any path stand for their origins, written one way; each once, in order.
        {R"({"action":"vaultSet","keyId":"k","value":"v1","origins":["HTTPS://API.Example.com/v1/chat","https://api.example.com:443","http://localhost:11434/api"]})",
         {"https://api.example.com", "http://localhost:11434"}},
        // No usable field: the key keeps what it had.
        {R"({"action":"vaultSet","keyId":"k","value":"v2"})", {"https://api.example.com", "http://localhost:11434"}},
        {R"({"action":"vaultSet","keyId":"k","value":"v3","origins":"https://other.test"})",
         {"https://api.example.com", "http://localhost:11434"}},
        {R"({"action":"vaultSet","keyId":"k","value":"v4","origins":["https://other.test", 3]})",
         {"https://api.example.com", "http://localhost:11434"}},
        {R"({"action":"vaultSet","keyId":"k","value":"v5","origins":["ftp://other.test"]})",
         {"https://api.example.com", "http://localhost:11434"}},
        // Origins come only with a new secret: an empty value deletes the key and its origins.
        {R"({"action":"vaultSet","keyId":"k","value":"","origins":["https://evil.test"]})", {}},
        {R"({"action":"vaultSet","keyId":"k","value":"v6","origins":["https://a.test"]})", {"https://a.test"}},
        {R"({"action":"vaultSet","keyId":"k","value":"v7","origins":[]})", {}},
        {R"({"action":"vaultSet","keyId":"k","value":"v8","origins":["https://a.test"]})", {"https://a.test"}},
        {R"({"action":"vaultDelete","keyId":"k"})", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(originsAfter(c.message), c.origins) << c.message;

    // First use binds; a second first use racing it sees the binding.
    p.send(R"({"action":"vaultSet","keyId":"k","value":"v9"})");
    Origins first, second;
    p.service->get("k", "https://one.test", [&](vault::SecretSource::Key k) { first = k.origins; });
    p.service->get("k", "https://two.test", [&](vault::SecretSource::Key k) { second = k.origins; });
    p.service->allow("k", "https://two.test");
    ASSERT_TRUE(vaulttest::drain(*p.service, p.queue));
    EXPECT_EQ(first, Origins{"https://one.test"});
    EXPECT_EQ(second, Origins{"https://one.test"});
    // A key with no secret binds nothing.
    p.service->get("none", "https://one.test", [](vault::SecretSource::Key) {});
    ASSERT_TRUE(vaulttest::drain(*p.service, p.queue));

    auto reopened = p.open();
    EXPECT_EQ(reopened->origins("k"), (Origins{"https://one.test", "https://two.test"}));
    EXPECT_TRUE(reopened->origins("none").empty());
    EXPECT_EQ(reopened->get("k"), "v9");
}

// A key id the keychain cannot hold as sent is refused by every command that names one.
TEST(VaultCommands, KeyIdWithNulIsRefused) {
    Page p;
    const std::string id("k\0x", 3);
    for (const char* action : {"vaultSet", "vaultDelete", "vaultStatus"}) {
        auto scripts = p.sendRaw(json::Object{{"action", action}, {"keyId", id}, {"value", "v"}});
        ASSERT_EQ(scripts.size(), 1u) << action;
        EXPECT_NE(scripts[0].find(R"("ok":false)"), std::string::npos) << scripts[0];
    }
    EXPECT_TRUE(p.keychain->items.empty());
    EXPECT_FALSE(std::filesystem::exists(p.vaultPath()));
}

}  // namespace

namespace {

// Quitting while the keychain does not answer: the page's writes, the one waiting on the keychain
// and those queued behind it, all land in the file and the journal; the next start hands them to
// the keychain.
TEST(VaultCommands, ShutdownWithAStalledKeychainKeepsEveryWrite) {
    Page p;
    p.send(R"({"action":"vaultSet","reqId":"r0","keyId":"old","value":"sk-old-value"})");
    p.keychain->stall();
    for (const char* message : {R"({"action":"vaultSet","reqId":"r1","keyId":"openai","value":"sk-first-1234"})",
                                R"({"action":"vaultSet","reqId":"r2","keyId":"anthropic","value":"sk-second-5678"})",
                                R"({"action":"vaultDelete","reqId":"r3","keyId":"old"})"})
        p.bridge->receive(*testsupport::parseJson(message));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (p.keychain->stalledCalls() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    ASSERT_EQ(p.keychain->stalledCalls(), 1) << "the first write waits on the keychain";

    p.service->shutdown(std::chrono::milliseconds(50));
    EXPECT_TRUE(p.keychain->offline());
    p.queue.runAll();
    ASSERT_EQ(p.page->scripts.size(), 4u);
    for (int i = 1; i < 4; ++i) EXPECT_NE(p.page->scripts[i].find(R"("ok":true)"), std::string::npos) << i;
    EXPECT_EQ(p.file().load().items, (vault::SecretMap{{"anthropic", "sk-second-5678"}, {"openai", "sk-first-1234"}}));
    // Nothing runs after shutdown, and nothing answers.
    p.page->scripts.clear();
    p.bridge->receive(*testsupport::parseJson(R"({"action":"vaultList","reqId":"late"})"));
    p.queue.runAll();
    EXPECT_TRUE(p.page->scripts.empty());

    // The next start, with the keychain answering again.
    auto items = p.keychain->items;
    p.keychain = std::make_shared<vaulttest::MemoryKeychain>();
    p.keychain->items = items;
    auto next = p.open();
    EXPECT_EQ(next->unsynced(), (std::vector<std::string>{"anthropic", "old", "openai"}));
    EXPECT_TRUE(next->replay());
    EXPECT_EQ(p.keychain->items,
              (std::map<std::string, std::string>{{"anthropic", "sk-second-5678"}, {"openai", "sk-first-1234"}}));
    EXPECT_EQ(next->get("openai"), "sk-first-1234");
}

// A vault file that could not be opened and is moved aside at the first write: from then on every
// reply names where it went, so the page can tell the user their old keys are not offered.
TEST(VaultCommands, RepliesNameAVaultFileSetAside) {
    Page p([](vaulttest::VaultFixture& f) { f.dir.write("data/TAVRIK/vault.dat", "not a sealed vault"); });
    EXPECT_EQ(p.send(R"({"action":"vaultList"})").find("setAside"), nullptr) << "nothing moved yet";
    auto set = p.send(R"({"action":"vaultSet","keyId":"k","value":"v"})");
    EXPECT_EQ(*set.find("ok"), json::Value(true));
    const std::string* aside = set.stringAt("setAside");
    ASSERT_NE(aside, nullptr);
    EXPECT_EQ(aside->rfind(p.vaultPath() + ".unreadable-", 0), 0u) << *aside;
    EXPECT_TRUE(std::filesystem::exists(*aside));
    EXPECT_EQ(*p.send(R"({"action":"vaultStatus","keyId":"k"})").stringAt("setAside"), *aside);
}

}  // namespace
