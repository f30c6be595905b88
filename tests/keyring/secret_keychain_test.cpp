// The vault against a real GNOME Keyring daemon (tests/keyring/run.sh starts one).
#include "vault/secret_keychain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "bridge/bridge.h"
#include "common/json.h"
#include "fakes/fakes.h"
#include "support/gtk_support.h"
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
    auto page = std::make_shared<fakes::RecordingPage>();
    auto bridge = std::make_shared<bridge::Bridge>(queue, page);
    auto commands = std::make_shared<vault::VaultCommandHandler>(v, bridge);
    bridge->handlers().vault = commands;

    bridge->receive(*json::parse(R"({"action":"vaultSet","reqId":"1","keyId":"kc-page","value":"sk-page-secret-42"})"));
    bridge->receive(*json::parse(R"({"action":"vaultList","reqId":"2"})"));
    queue.runAll();
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

}  // namespace
