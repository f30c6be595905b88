// SPDX-License-Identifier: GPL-3.0-or-later
#include "vault/vault_service.h"

namespace vault {

VaultService::VaultService(std::shared_ptr<Vault> vault, common::MainQueue& mainQueue) : vault_(std::move(vault)) {
    thread_.emplace(mainQueue, 1);
    // Writes a previous run could not hand to the keychain go first.
    thread_->submit([vault = vault_] { vault->replay(); });
}

VaultService::~VaultService() = default;

void VaultService::shutdown(std::chrono::milliseconds grace) {
    if (!thread_) return;
    // Reads still queued have nobody left to answer: they skip the vault.
    for (auto& [ticket, cancelled] : pending_) *cancelled = true;
    pending_.clear();
    vault_->goOffline(grace);
    // The pool's destructor runs what is queued before it joins (its shutdown() would drop it).
    thread_.reset();
}

SecretSource::Ticket VaultService::get(const std::string& keyId, const std::string& origin, Answer answer) {
    Ticket ticket = ++nextTicket_;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    pending_.emplace(ticket, cancelled);
    run(
        [keyId, origin, cancelled](Vault& vault) -> Key {
            if (*cancelled) return {};
            Key key{vault.get(keyId), vault.origins(keyId)};
            if (!key.secret || origin.empty()) return key;
            // First use of a key bound nowhere: it belongs to this origin from now on. Should that
            // not be stored, this request still goes where it was first sent.
            if (key.origins.empty()) {
                vault.allowOrigin(keyId, origin);
                key.origins = {origin};
            }
            return key;
        },
        [weak = weak_from_this(), ticket, cancelled, answer = std::move(answer)](Key key) {
            auto self = weak.lock();
            if (!self || *cancelled) return;
            self->pending_.erase(ticket);
            answer(std::move(key));
        });
    return ticket;
}

void VaultService::allow(const std::string& keyId, const std::string& origin) {
    if (thread_) thread_->submit([vault = vault_, keyId, origin] { vault->allowOrigin(keyId, origin); });
}

void VaultService::cancel(Ticket ticket) {
    auto it = pending_.find(ticket);
    if (it == pending_.end()) return;
    *it->second = true;
    pending_.erase(it);
}

}  // namespace vault
