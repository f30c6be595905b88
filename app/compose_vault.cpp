// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/parts.h"
#include "common/log.h"
#include "vault/secret_keychain.h"
#include "vault/vault.h"
#include "vault/vault_commands.h"
#include "vault/vault_service.h"

namespace app {

// The vault reads its file here, once; the keychain is contacted only from the vault's own thread.
VaultPart composeVault(common::MainQueue& mainQueue, const std::shared_ptr<bridge::Bridge>& bridge) {
    VaultPart part;
    part.service = std::make_shared<vault::VaultService>(
        std::make_shared<vault::Vault>(std::make_shared<vault::SecretKeychain>(),
                                       vault::SealedFile(vault::SealedFile::defaultPath()),
                                       [](const std::string& line) { common::log::warning(line); }),
        mainQueue);
    part.commands = std::make_shared<vault::VaultCommandHandler>(part.service, std::weak_ptr<bridge::PageSink>(bridge));
    bridge::addVaultCommands(bridge->commands(), part.commands);
    return part;
}

}  // namespace app
