// SPDX-License-Identifier: GPL-3.0-or-later
// The vault against a real GNOME Keyring daemon (tests/keyring/run.sh starts one).
#include "vault/secret_keychain.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "bridge/bridge.h"
#include "common/json.h"
#include "fakes/fakes.h"
#include "support/gtk_support.h"
#include "support/json_text.h"
#include "support/secret_service.h"
#include "unit/vault/vault_fixture.h"
#include "vault/vault.h"
#include "vault/vault_commands.h"

namespace {

// What another program sees: secret-tool's answer, or nothing when it finds no item.
std::optional<std::string> secretTool(const std::string& verbAndAccount) {
    std::string command = "secret-tool " + verbAndAccount + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[256];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    int status = pclose(pipe);
    if (status != 0) return std::nullopt;
    return out;
}

std::optional<std::string> lookup(const std::string& account) {
    return secretTool("lookup service com.brantel.quillmarsh.vault account " + account);
}

TEST(SecretKeychain, AddReadListRemove) {
    vault::SecretKeychain keychain;
    const std::string secret = "sk-\u00e9\U0001F511-0123456789";
    ASSERT_EQ(keychain.add("kc-basic", "old value"), std::nullopt);
    ASSERT_EQ(keychain.add("kc-basic", secret), std::nullopt);
    EXPECT_EQ(keychain.read("kc-basic"), secret);
    EXPECT_EQ(lookup("kc-basic"), secret);
    auto accounts = keychain.accounts();
    EXPECT_EQ(std::count(accounts.begin(), accounts.end(), "kc-basic"), 1) << "add replaces the old item";

    keychain.remove("kc-basic");
    EXPECT_EQ(keychain.read("kc-basic"), std::nullopt);
    EXPECT_EQ(lookup("kc-basic"), std::nullopt);
    accounts = keychain.accounts();
    EXPECT_EQ(std::count(accounts.begin(), accounts.end(), "kc-basic"), 0);
    EXPECT_EQ(keychain.read("never-stored"), std::nullopt);
    keychain.remove("never-stored");  // removing nothing is fine
}

TEST(SecretKeychain, FindsItemsAnotherToolStored) {
    ASSERT_EQ(std::system("printf %s stored-by-hand | secret-tool store --label=hand service "
                          "com.brantel.quillmarsh.vault account kc-hand"),
              0);
    vault::SecretKeychain keychain;
    EXPECT_EQ(keychain.read("kc-hand"), "stored-by-hand");
    auto accounts = keychain.accounts();
    EXPECT_NE(std::find(accounts.begin(), accounts.end(), "kc-hand"), accounts.end());
    // Another service's items are not ours.
    ASSERT_EQ(std::system("printf %s x | secret-tool store --label=o service other.service account kc-other"), 0);
    accounts = keychain.accounts();
    EXPECT_EQ(std::find(accounts.begin(), accounts.end(), "kc-other"), accounts.end());
    keychain.remove("kc-hand");
}

// A page stores a secret: the keychain shows the item and the vault file opens to the same object.
TEST(SecretKeychain, PageSetReachesKeychainAndFile) {
    testsupport::TempDir dir;
    dir.write("machine-id", "keyring-test-machine\n");
    vault::SealedFile file(dir.file("TAVRIK/vault.dat"), {dir.file("machine-id")});
    std::vector<std::string> logs;
    auto v = std::make_shared<vault::Vault>(std::make_shared<vault::SecretKeychain>(), file,
                                            [&](const std::string& line) { logs.push_back(line); });
    fakes::ManualQueue queue;
    auto service = std::make_shared<vault::VaultService>(v, queue);
    auto page = std::make_shared<fakes::RecordingPage>();
    auto bridge = std::make_shared<bridge::Bridge>(queue, page);
    auto commands = std::make_shared<vault::VaultCommandHandler>(service, bridge);
    bridge::addVaultCommands(bridge->commands(), commands);

    bridge->receive(
        *testsupport::parseJson(R"({"action":"vaultSet","reqId":"1","keyId":"kc-page","value":"sk-page-secret-42"})"));
    bridge->receive(*testsupport::parseJson(R"({"action":"vaultList","reqId":"2"})"));
    ASSERT_TRUE(vaulttest::drain(*service, queue));
    ASSERT_EQ(page->scripts.size(), 2u);
    EXPECT_NE(page->scripts[0].find(R"("ok":true)"), std::string::npos) << page->scripts[0];
    EXPECT_NE(page->scripts[0].find(R"("backend":"keychain")"), std::string::npos) << page->scripts[0];
    EXPECT_NE(page->scripts[1].find(R"("kc-page")"), std::string::npos) << page->scripts[1];
    EXPECT_TRUE(logs.empty());

    EXPECT_EQ(lookup("kc-page"), "sk-page-secret-42");
    EXPECT_EQ(file.load().items, (vault::SecretMap{{"kc-page", "sk-page-secret-42"}}));
    EXPECT_EQ(v->get("kc-page"), "sk-page-secret-42");

    EXPECT_TRUE(v->remove("kc-page"));
    EXPECT_EQ(lookup("kc-page"), std::nullopt);
    EXPECT_EQ(v->get("kc-page"), std::nullopt);
    EXPECT_TRUE(file.load().items.empty());
}

// The keyring stops answering (its daemon paused), then comes back. Meanwhile the main thread keeps
// running, the page's writes and deletes take effect at once from the file, and they reach the
// keychain once it answers again: nothing deleted or replaced comes back.
TEST(SecretKeychain, StalledKeyringNeitherFreezesNorLosesWrites) {
    testsupport::TempDir dir;
    dir.write("machine-id", "keyring-stall-machine\n");
    vault::SealedFile file(dir.file("TAVRIK/vault.dat"), {dir.file("machine-id")});
    // Short limits keep the test quick; no cool-down, so the first call after the stall replays.
    auto keychain = std::make_shared<vault::SecretKeychain>(vault::kVaultService, std::chrono::milliseconds(1500),
                                                            std::chrono::milliseconds(0));
    auto v = std::make_shared<vault::Vault>(keychain, file, [](const std::string&) {});
    fakes::ManualQueue queue;
    auto service = std::make_shared<vault::VaultService>(v, queue);
    auto page = std::make_shared<fakes::RecordingPage>();
    auto bridge = std::make_shared<bridge::Bridge>(queue, page);
    auto commands = std::make_shared<vault::VaultCommandHandler>(service, bridge);
    bridge::addVaultCommands(bridge->commands(), commands);
    auto send = [&](const char* text) { bridge->receive(*testsupport::parseJson(text)); };

    send(R"({"action":"vaultSet","reqId":"s1","keyId":"kc-stall","value":"before-stall"})");
    send(R"({"action":"vaultSet","reqId":"s2","keyId":"kc-gone","value":"doomed-secret"})");
    ASSERT_TRUE(vaulttest::drain(*service, queue));
    ASSERT_EQ(lookup("kc-stall"), "before-stall");

    pid_t daemon = testsupport::secretServicePid();
    ASSERT_GT(daemon, 0);
    ASSERT_EQ(kill(daemon, SIGSTOP), 0);
    page->scripts.clear();
    send(R"({"action":"vaultSet","reqId":"o1","keyId":"kc-stall","value":"during-stall"})");
    send(R"({"action":"vaultDelete","reqId":"o2","keyId":"kc-gone"})");
    send(R"({"action":"vaultStatus","reqId":"o3","keyId":"kc-stall"})");
    send(R"({"action":"vaultStatus","reqId":"o4","keyId":"kc-gone"})");
    // The main thread is free while the vault waits on the keyring: its own work runs first.
    bool mainRan = false;
    queue.post([&] { mainRan = page->scripts.empty(); });
    queue.runAll();
    EXPECT_TRUE(mainRan);
    bool drained = vaulttest::drain(*service, queue);
    kill(daemon, SIGCONT);
    ASSERT_TRUE(drained);

    // Replies in the order the page asked, each answered from the file.
    ASSERT_EQ(page->scripts.size(), 4u);
    const std::string expected[] = {R"("reqId":"o1","keyId":"kc-stall","ok":true,"has":true)",
                                    R"("reqId":"o2","keyId":"kc-gone","ok":true,"has":false)",
                                    R"("reqId":"o3","keyId":"kc-stall","ok":true,"has":true,"hint":"dur)"
                                    "\u2026"
                                    R"(tall")",
                                    R"("reqId":"o4","keyId":"kc-gone","ok":true,"has":false)"};
    for (int i = 0; i < 4; ++i) EXPECT_NE(page->scripts[i].find(expected[i]), std::string::npos) << page->scripts[i];
    EXPECT_EQ(v->unsynced(), (std::vector<std::string>{"kc-gone", "kc-stall"}));

    // The keyring answers again: the next command plays what it missed, in order, before its own.
    page->scripts.clear();
    send(R"({"action":"vaultList","reqId":"after"})");
    ASSERT_TRUE(vaulttest::drain(*service, queue));
    EXPECT_TRUE(v->unsynced().empty());
    EXPECT_EQ(lookup("kc-stall"), "during-stall");
    EXPECT_EQ(lookup("kc-gone"), std::nullopt);
    ASSERT_EQ(page->scripts.size(), 1u);
    EXPECT_NE(page->scripts[0].find(R"("keys":["kc-stall"])"), std::string::npos) << page->scripts[0];
    EXPECT_EQ(v->get("kc-stall"), "during-stall");
    v->remove("kc-stall");
}

}  // namespace
