// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vault/keychain.h"
#include "vault/ossl_sealed_file.h"

namespace vault {

// The user's secrets under key ids chosen by the page, in two stores written together: the
// keychain, and the sealed vault file that holds every secret too and works where the keychain
// refuses. Reads prefer the keychain.
//
// A keychain write or delete that fails is kept in a journal (a second sealed file, so it survives a
// restart) and replayed, in order, before the next call reaches the keychain; until then the file
// alone answers for that key, so a value deleted or replaced while the keychain was away never
// comes back. Calls may wait on the keychain (within its bounds): the vault runs on a thread of its
// own (see VaultService), one call at a time, never on the main thread.
class Vault final {
public:
    using Log = std::function<void(const std::string&)>;

    // Reads the vault file once, here, after removing the temporary files that writes of an earlier
    // run left in its folder.
    Vault(std::shared_ptr<Keychain> keychain, SealedFile file, Log log);

    // True only once the change is stored where a restart finds it; when it is not, memory keeps
    // what the stores hold, so later answers agree with the failure.
    bool set(const std::string& keyId, const std::string& value);  // an empty value removes
    std::optional<std::string> get(const std::string& keyId);
    bool remove(const std::string& keyId);
    std::vector<std::string> allKeys();  // both stores, each id once, in code-point order
    // Masked form of a secret, counted in user-perceived characters.
    static std::string hint(std::string_view value);
    // "keychain" or "file": where the last write went, or "file" after loading stored secrets.
    const std::string& backend() const { return backend_; }
    // Where a vault file that could not be opened was moved in this run ("" when none was): its
    // secrets are no longer offered, so the user should hear of it.
    const std::string& setAside() const { return setAside_; }
    // Key ids whose keychain item is not yet what the file holds.
    std::vector<std::string> unsynced() const;
    // Plays the journal to the keychain; stops at the first failure. True when nothing is left.
    bool replay();
    // For shutdown, from any thread: the keychain stops being asked (a call in flight is given up
    // after `grace`), so what is still queued goes to the file and the journal at once.
    void goOffline(std::chrono::milliseconds grace) { keychain_->goOffline(grace); }
    // A key id the keychain can hold: not empty, no NUL (its attributes are C strings).
    static bool validKeyId(const std::string& keyId);

    // The origins a key may be sent to (key_origins.h), kept in a sealed file beside the vault file
    // and removed with the key; none means the key goes to the first origin it is sent to.
    std::vector<std::string> origins(const std::string& keyId) const;
    // Replaces the key's origins (an empty list unbinds it). True once stored where a restart
    // finds it; otherwise nothing changes.
    bool setOrigins(const std::string& keyId, const std::vector<std::string>& origins);
    // Adds one origin to the key's list, as setOrigins.
    bool allowOrigin(const std::string& keyId, const std::string& origin);

private:
    void loadFile();
    bool saveFile();
    // Writes the file with `keyId` set to `value` (removed when nothing); on failure the memory is
    // as before and the answer false.
    bool saveChange(const std::string& keyId, const std::optional<std::string>& value);
    bool journal(const std::string& keyId, const char* op);  // false (and nothing kept) when not stored

    std::shared_ptr<Keychain> keychain_;
    SealedFile file_;
    Log log_;
    std::string backend_ = "keychain";
    SecretMap fileItems_;
    SealedFile journalFile_;
    SecretMap journal_;  // key id → "set" or "delete", the last operation the keychain missed
    SealedFile originsFile_;
    SecretMap origins_;  // key id → its origins, one per line
    // The file was there but could not be opened: it is moved aside before anything replaces it.
    bool keepAside_ = false;
    std::string setAside_;
};

}  // namespace vault
