// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <gio/gio.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "vault/keychain.h"

namespace vault {

inline constexpr const char* kVaultService = "com.brantel.quillmarsh.vault";

// The keychain over libsecret (the Secret Service: GNOME Keyring, KWallet). Items live in the
// default collection with the attributes "service" and "account"; the secret is the UTF-8 text.
//
// Every call runs on a short-lived thread and is waited for at most `limit`: a Secret Service
// that accepts the connection but never answers (or a prompt nobody answers) must not freeze the
// window. After such a timeout the keychain fails at once for `cooldown`, so the vault works
// from its file without stalling every operation. goOffline() cuts a wait short: a call given up
// is cancelled and left to end on its own thread, which owns everything it touches.
class SecretKeychain final : public Keychain {
public:
    explicit SecretKeychain(std::string service = kVaultService,
                            std::chrono::milliseconds limit = std::chrono::milliseconds(2500),
                            std::chrono::milliseconds cooldown = std::chrono::seconds(30));

    std::optional<KeychainError> add(const std::string& account, const std::string& secret) override;
    std::optional<KeychainError> remove(const std::string& account) override;
    std::optional<std::string> read(const std::string& account) override;
    std::vector<std::string> accounts() override;
    void goOffline(std::chrono::milliseconds grace) override;

    // What the waits share with the calls' threads; it outlives the keychain while one runs.
    struct Gate;

private:
    // Why no call is made now (offline, or cooling down after a timeout); nothing when one may be.
    std::optional<KeychainError> unavailable();
    void noteTimeout();
    // Runs `call` bounded by the limit; a call that times out starts the cooldown and answers
    // `onTimeout`.
    template <class T>
    T ask(std::function<T(GCancellable*)> call, T onTimeout);

    std::string service_;
    std::chrono::milliseconds limit_;
    std::chrono::milliseconds cooldown_;
    std::shared_ptr<Gate> gate_;
};

}  // namespace vault
