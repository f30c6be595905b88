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

SecretSource::Ticket VaultService::get(const std::string& keyId, Answer answer) {
    Ticket ticket = ++nextTicket_;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    pending_.emplace(ticket, cancelled);
    run(
        [keyId, cancelled](Vault& vault) -> std::optional<std::string> {
            if (*cancelled) return std::nullopt;
            return vault.get(keyId);
        },
        [weak = weak_from_this(), ticket, cancelled, answer = std::move(answer)](std::optional<std::string> secret) {
            auto self = weak.lock();
            if (!self || *cancelled) return;
            self->pending_.erase(ticket);
            answer(std::move(secret));
        });
    return ticket;
}

void VaultService::cancel(Ticket ticket) {
    auto it = pending_.find(ticket);
    if (it == pending_.end()) return;
    *it->second = true;
    pending_.erase(it);
}

}  // namespace vault
