// SPDX-License-Identifier: GPL-3.0-or-later
// The vault as the application wires it, driven from a page in the real web view.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "common/json.h"
#include "support/gtk_support.h"
#include "support/json_text.h"
#include "vault/ossl_sealed_file.h"

namespace {

const char* kPage = R"(<!doctype html><html><head><meta charset="utf-8"></head><body><script>
window.replies = [];
window.__vaultReply = (r) => window.replies.push(r);
window.post = (m) => window.webkit.messageHandlers.canvasBridge.postMessage(m);
</script></body></html>)";

TEST(VaultPage, CommandsFromThePageReachTheVault) {
    testsupport::Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    shell.eval("post({action: 'vaultSet', reqId: 'a', keyId: 'gtk-key', value: 'sk-gtk-0123456789'}); true");
    shell.eval("post({action: 'vaultStatus', reqId: 'b', keyId: 'gtk-key'}); true");
    ASSERT_TRUE(shell.waitFor("window.replies.length === 2"));

    auto all = testsupport::parseJson(*shell.eval("JSON.stringify(window.replies)"));
    ASSERT_TRUE(all && all->array());
    for (const auto& reply : *all->array()) {
        EXPECT_EQ(*reply.find("ok"), json::Value(true));
        EXPECT_EQ(*reply.find("has"), json::Value(true));
        EXPECT_EQ(*reply.stringAt("hint"),
                  "sk-\u2026"
                  "6789");
        EXPECT_EQ(*reply.stringAt("keyId"), "gtk-key");
    }
    EXPECT_EQ(*(*all->array())[1].stringAt("reqId"), "b");
    EXPECT_EQ(shell.eval("JSON.stringify(window.replies).includes('0123456789')"), "false");

    // The request proxy reads the same secret, and the vault file in the user's data folder has it.
    ASSERT_TRUE(shell.app().secrets());
    auto secretOf = [&](const std::string& keyId) {
        std::optional<std::optional<std::string>> got;
        shell.app().secrets()->get(keyId, "", [&got](vault::SecretSource::Key k) { got = std::move(k.secret); });
        EXPECT_TRUE(testsupport::runUntil([&] { return got.has_value(); }));
        return got.value_or(std::nullopt);
    };
    EXPECT_EQ(secretOf("gtk-key"), "sk-gtk-0123456789");
    const std::string file = std::string(std::getenv("XDG_DATA_HOME")) + "/TAVRIK/vault.dat";
    EXPECT_EQ(vault::SealedFile(file).load().items.count("gtk-key"), 1u);

    shell.eval("post({action: 'vaultDelete', keyId: 'gtk-key'}); true");
    ASSERT_TRUE(shell.waitFor("window.replies.length === 3"));
    EXPECT_EQ(secretOf("gtk-key"), std::nullopt);
}

}  // namespace
