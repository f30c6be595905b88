#include "app/app_delegate.h"
#include "vault/glib_log.h"
#include "vault/secret_keychain.h"
#include "vault/vault_commands.h"

namespace app {

// The vault reads its file here, once; the keychain is contacted only from the vault's own thread.
void composeVault(AppDelegate& app) {
    auto vault = std::make_shared<vault::VaultService>(
        std::make_shared<vault::Vault>(std::make_shared<vault::SecretKeychain>(),
                                       vault::SealedFile(vault::SealedFile::defaultPath()), vault::logLine),
        app.mainQueue());
    app.secrets = vault;
    app.bridge()->handlers().vault =
        std::make_shared<vault::VaultCommandHandler>(vault, std::weak_ptr<bridge::PageSink>(app.bridge()));
}

}  // namespace app
