// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <memory>
#include <string>

#include "bridge/commands.h"
#include "bridge/page_sink.h"
#include "vault/vault_service.h"

namespace vault {

// The page's view of the vault: every command answers with one window.__vaultReply({...}) of the
// same shape, and no answer ever carries a stored secret. Once a vault file that could not be opened
// has been moved aside, every reply also names where it went ("setAside").
class VaultCommandHandler final : public bridge::VaultCommands {
public:
    // The page sink is held weakly: the bridge owns this handler.
    VaultCommandHandler(std::shared_ptr<VaultService> vault, std::weak_ptr<bridge::PageSink> page);

    // "origins" (key_origins.h) replaces where the key may be sent; without a usable one the key
    // keeps the origins it had.
    void vaultSet(std::string reqId, std::string keyId, std::string value, const json::Value* origins) override;
    void vaultDelete(std::string reqId, std::string keyId) override;
    void vaultStatus(std::string reqId, std::string keyId) override;
    void vaultList(std::string reqId) override;

private:
    static void reply(const std::weak_ptr<bridge::PageSink>& page, std::string reqId, std::string keyId, bool ok,
                      bool has, std::string hint, std::string backend, std::string setAside,
                      const json::Array* keys = nullptr);

    std::shared_ptr<VaultService> vault_;
    std::weak_ptr<bridge::PageSink> page_;
};

}  // namespace vault
