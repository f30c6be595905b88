#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vault/keychain.h"
#include "vault/ossl_sealed_file.h"
#include "vault/secret_source.h"

namespace vault {

// The user's secrets under key ids chosen by the page, in two stores written together: the
// keychain, and the sealed vault file that holds every secret too and works where the keychain
// refuses. Reads prefer the keychain. Main thread only, and synchronous: a call blocks the main
// thread while it asks the keychain (each keychain call gives up after its own limit, and the
// keychain is then left alone for a while) and, for set and remove, while it rewrites the file.
class Vault final : public SecretSource {
public:
    using Log = std::function<void(const std::string&)>;

    // Reads the vault file once, here.
    Vault(std::shared_ptr<Keychain> keychain, SealedFile file, Log log);

    bool set(const std::string& keyId, const std::string& value);  // an empty value removes
    std::optional<std::string> get(const std::string& keyId) override;
    bool remove(const std::string& keyId);
    std::vector<std::string> allKeys();  // both stores, each id once, in code-point order
    // Masked form of a secret, counted in user-perceived characters.
    static std::string hint(std::string_view value);
    // "keychain" or "file": where the last write went, or "file" after loading stored secrets.
    const std::string& backend() const { return backend_; }

private:
    void loadFile();
    bool saveFile();

    std::shared_ptr<Keychain> keychain_;
    SealedFile file_;
    Log log_;
    std::string backend_ = "keychain";
    SecretMap fileItems_;
    // The file was there but could not be opened: it is moved aside before anything replaces it.
    bool keepAside_ = false;
};

}  // namespace vault
