#include "vault/vault_commands.h"

namespace vault {

VaultCommandHandler::VaultCommandHandler(std::shared_ptr<Vault> vault, std::weak_ptr<bridge::PageSink> page)
    : vault_(std::move(vault)), page_(std::move(page)) {}

void VaultCommandHandler::reply(std::string reqId, std::string keyId, bool ok, bool has, std::string hint,
                                const json::Array* keys) {
    auto page = page_.lock();
    if (!page) return;
    json::Object payload{
        {"reqId", std::move(reqId)}, {"keyId", std::move(keyId)},    {"ok", ok}, {"has", has},
        {"hint", std::move(hint)},   {"backend", vault_->backend()},
    };
    if (keys) payload.emplace_back("keys", *keys);
    page->pushFunction("__vaultReply", json::Value(std::move(payload)));
}

// "has" and "hint" describe the value sent, not what the vault now holds.
void VaultCommandHandler::vaultSet(std::string reqId, std::string keyId, std::string value) {
    bool ok = vault_->set(keyId, value);
    reply(std::move(reqId), std::move(keyId), ok, !value.empty(), Vault::hint(value));
}

void VaultCommandHandler::vaultDelete(std::string reqId, std::string keyId) {
    bool ok = vault_->remove(keyId);
    reply(std::move(reqId), std::move(keyId), ok, false, "");
}

void VaultCommandHandler::vaultStatus(std::string reqId, std::string keyId) {
    auto value = vault_->get(keyId);
    std::string hint = value ? Vault::hint(*value) : "";
    reply(std::move(reqId), std::move(keyId), true, value.has_value(), std::move(hint));
}

void VaultCommandHandler::vaultList(std::string reqId) {
    json::Array keys;
    for (auto& keyId : vault_->allKeys()) keys.emplace_back(std::move(keyId));
    reply(std::move(reqId), "", true, false, "", &keys);
}

}  // namespace vault
