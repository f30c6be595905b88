// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/result.h"

namespace vault {

using SecretMap = std::map<std::string, std::string>;  // key id → secret
using SealKey = std::array<std::uint8_t, 32>;

// AES-256-GCM in the combined layout nonce(12) ‖ ciphertext ‖ tag(16).
common::Bytes seal(std::string_view plaintext, const SealKey& key);
std::optional<std::string> unseal(const common::Bytes& box, const SealKey& key);
inline constexpr std::size_t kSealOverhead = 12 + 16;

// The text that identifies this machine: the first line of the first readable machine-id file,
// else "unknown-host" (the text vaults of machines without an id were once sealed with).
std::string machineText(const std::vector<std::string>& machineIdPaths);
inline constexpr const char* kNoMachineText = "unknown-host";
// SHA-256 of the machine text and the vault's salt.
SealKey deriveKey(const std::string& machineText);

// The vault file: every secret as one JSON object, sealed with a key derived from the machine id
// and never stored. It protects a copy of the file taken to another machine, not the file from
// other users or programs of this one (the machine id is world-readable). Where the machine has
// no id, the key is derived from a random key created once in "vault.key" beside the file (mode
// 0600, never overwritten); a vault sealed before that, with "unknown-host", still opens and is
// sealed with the new key at its next write.
class SealedFile {
public:
    enum class State {
        Missing,     // no file (or an empty one): nothing to lose
        Opened,      // read, opened and parsed
        Unreadable,  // present but cannot be opened: short, damaged, another machine's, not our JSON
    };
    struct Loaded {
        State state = State::Missing;
        SecretMap items;
    };

    explicit SealedFile(std::string path, std::vector<std::string> machineIdPaths = defaultMachineIdPaths());

    static std::string defaultPath();  // $XDG_DATA_HOME/TAVRIK/vault.dat
    static std::vector<std::string> defaultMachineIdPaths();

    const std::string& path() const { return path_; }
    // Another file sealed the same way, at this path with `suffix` appended.
    SealedFile sibling(const std::string& suffix) const;
    Loaded load() const;
    // Seals the items and replaces the file atomically (synced before the rename), mode 0600, in a
    // folder created with mode 0700. The error text is fit for the log: it never holds a secret.
    common::Status save(const SecretMap& items) const;
    // Moves the file to "<path>.unreadable-<local time>" so a new vault does not destroy it.
    common::Result<std::string> keepAside() const;

    // The random key's file, beside the vault.
    std::string keyPath() const;

private:
    enum class KeyFile { Read, Create };
    // The text the key is derived from: the machine id, else the random key (created if asked);
    // nullopt when neither can be had.
    std::optional<std::string> keyText(KeyFile mode, std::string* why = nullptr) const;

    std::string path_;
    std::vector<std::string> machineIdPaths_;
};

}  // namespace vault
