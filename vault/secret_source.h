#pragma once
#include <optional>
#include <string>

namespace vault {

// What the request proxy needs of the vault: a secret by key id, or nothing. Main thread only.
class SecretSource {
public:
    virtual ~SecretSource() = default;
    virtual std::optional<std::string> get(const std::string& keyId) = 0;
};

}  // namespace vault
