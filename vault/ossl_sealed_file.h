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
// else "unknown-host".
std::string machineText(const std::vector<std::string>& machineIdPaths);
// SHA-256 of the machine text and the vault's salt.
SealKey deriveKey(const std::string& machineText);

// The vault file: every secret as one JSON object, sealed with a key derived from the machine.
// The key is derived again for every read and write and never stored.
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

private:
    std::string path_;
    std::vector<std::string> machineIdPaths_;
};

}  // namespace vault
