// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vault {

// Why the keychain refused an operation. `code` is the store's own number (the GError code for
// the Secret Service), written in decimal into the vault's log line.
struct KeychainError {
    int code = 0;
    std::string message;  // never holds a secret
};

// The system keychain as the vault needs it: one item per account (key id) under one service name.
// Every call returns within a bounded time, failing when the store is missing or does not answer.
// The vault calls it from its own thread only, never from the main thread.
class Keychain {
public:
    virtual ~Keychain() = default;
    // Replaces the account's item: any old item is removed first. Nothing on success.
    virtual std::optional<KeychainError> add(const std::string& account, const std::string& secret) = 0;
    // Removes every item of the account. Nothing when it is gone (or was never there); an error when
    // the store could not be asked, so the caller knows an old item may still be there.
    virtual std::optional<KeychainError> remove(const std::string& account) = 0;
    // The item's secret bytes as stored, or nothing when absent or unreachable.
    virtual std::optional<std::string> read(const std::string& account) = 0;
    // The account of every item of the service, in no particular order; empty when unreachable.
    virtual std::vector<std::string> accounts() = 0;
    // For shutdown: from now on every call fails at once, as when the store does not answer, and a
    // call in flight is given up `grace` from now. Any thread; the vault then writes its file and
    // journal alone, and the next start hands the journal to the store.
    virtual void goOffline(std::chrono::milliseconds grace) = 0;
};

}  // namespace vault
