#include "app/parts.h"
#include "vault/glib_log.h"
#include "vault/secret_keychain.h"
#include "vault/vault_commands.h"

namespace app {

VaultPart composeVault(const std::shared_ptr<bridge::Bridge>& bridge) {
    VaultPart part;
    part.vault = std::make_shared<vault::Vault>(std::make_shared<vault::SecretKeychain>(),
                                                vault::SealedFile(vault::SealedFile::defaultPath()), vault::logLine);
    part.commands = std::make_shared<vault::VaultCommandHandler>(part.vault, std::weak_ptr<bridge::PageSink>(bridge));
    bridge->handlers().vault = part.commands;
    return part;
}

}  // namespace app
