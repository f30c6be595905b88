// SPDX-License-Identifier: GPL-3.0-or-later
#include "vault/vault_commands.h"

#include "vault/key_origins.h"

namespace vault {
namespace {

struct Outcome {
    bool ok = false;
    std::optional<std::string> value;  // vaultStatus only; never leaves the main thread's reply code
    std::vector<std::string> keys;     // vaultList only
    std::string backend;
    std::string setAside;  // a vault file moved aside in this run, for the page to say so
};

// A key id the keychain cannot hold as sent is refused, never stored under a shortened name.
bool refusedKeyId(const std::string& keyId) { return keyId.find('\0') != std::string::npos; }

}  // namespace

VaultCommandHandler::VaultCommandHandler(std::shared_ptr<VaultService> vault, std::weak_ptr<bridge::PageSink> page)
    : vault_(std::move(vault)), page_(std::move(page)) {}

void VaultCommandHandler::reply(const std::weak_ptr<bridge::PageSink>& sink, std::string reqId, std::string keyId,
                                bool ok, bool has, std::string hint, std::string backend, std::string setAside,
                                const json::Array* keys) {
    auto page = sink.lock();
    if (!page) return;
    json::Object payload{
        {"reqId", std::move(reqId)}, {"keyId", std::move(keyId)},     {"ok", ok}, {"has", has},
        {"hint", std::move(hint)},   {"backend", std::move(backend)},
    };
    if (keys) payload.emplace_back("keys", *keys);
    if (!setAside.empty()) payload.emplace_back("setAside", std::move(setAside));
    page->pushFunction("__vaultReply", json::Value(std::move(payload)));
}

// Every command runs on the vault's thread in the order the page issued it; its reply follows in
// the same order. "has" and "hint" of vaultSet describe the value sent, not what the vault now holds.
void VaultCommandHandler::vaultSet(std::string reqId, std::string keyId, std::string value,
                                   const json::Value* originsField) {
    bool has = !value.empty();
    std::string hint = Vault::hint(value);
    bool refused = refusedKeyId(keyId);
    // Only a new secret comes with new origins: a page cannot send a stored key elsewhere by
    // naming another origin for it.
    auto origins = has ? vault::originsField(originsField) : std::nullopt;
    vault_->run(
        [keyId, value = std::move(value), refused, origins = std::move(origins)](Vault& v) {
            bool ok = !refused && v.set(keyId, value);
            if (ok && origins) ok = v.setOrigins(keyId, *origins);
            return Outcome{ok, std::nullopt, {}, v.backend(), v.setAside()};
        },
        [page = page_, reqId = std::move(reqId), keyId, has, hint = std::move(hint)](Outcome o) mutable {
            reply(page, std::move(reqId), std::move(keyId), o.ok, has, std::move(hint), std::move(o.backend),
                  std::move(o.setAside));
        });
}

void VaultCommandHandler::vaultDelete(std::string reqId, std::string keyId) {
    bool refused = refusedKeyId(keyId);
    vault_->run(
        [keyId, refused](Vault& v) {
            return Outcome{!refused && v.remove(keyId), std::nullopt, {}, v.backend(), v.setAside()};
        },
        [page = page_, reqId = std::move(reqId), keyId](Outcome o) mutable {
            reply(page, std::move(reqId), std::move(keyId), o.ok, false, "", std::move(o.backend),
                  std::move(o.setAside));
        });
}

void VaultCommandHandler::vaultStatus(std::string reqId, std::string keyId) {
    bool refused = refusedKeyId(keyId);
    vault_->run(
        [keyId, refused](Vault& v) {
            return Outcome{!refused, refused ? std::nullopt : v.get(keyId), {}, v.backend(), v.setAside()};
        },
        [page = page_, reqId = std::move(reqId), keyId](Outcome o) mutable {
            std::string hint = o.value ? Vault::hint(*o.value) : "";
            reply(page, std::move(reqId), std::move(keyId), o.ok, o.value.has_value(), std::move(hint),
                  std::move(o.backend), std::move(o.setAside));
        });
}

void VaultCommandHandler::vaultList(std::string reqId) {
    vault_->run(
        [](Vault& v) {
            return Outcome{true, std::nullopt, v.allKeys(), v.backend(), v.setAside()};
        },
        [page = page_, reqId = std::move(reqId)](Outcome o) mutable {
            json::Array keys;
            for (auto& keyId : o.keys) keys.emplace_back(std::move(keyId));
            reply(page, std::move(reqId), "", true, false, "", std::move(o.backend), std::move(o.setAside), &keys);
        });
}

}  // namespace vault
