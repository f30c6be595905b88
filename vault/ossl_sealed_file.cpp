// SPDX-License-Identifier: GPL-3.0-or-later
#include "vault/ossl_sealed_file.h"

#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <unistd.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "common/json.h"
#include "common/paths.h"
#include "files/file_io.h"

namespace vault {
namespace {

constexpr int kNonceSize = 12;
constexpr int kTagSize = 16;
constexpr const char* kSalt = "|com.brantel.quillmarshboards|tavrik-vault-v1";

using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// Plaintext copies are wiped when they are no longer needed.
struct Wiped {
    std::string text;
    ~Wiped() { OPENSSL_cleanse(text.data(), text.size()); }
};

std::string trim(std::string s) {
    const char* space = " \t\r\n";
    s.erase(0, s.find_first_not_of(space));
    s.erase(s.find_last_not_of(space) + 1);
    return s;
}

std::optional<SecretMap> parseItems(std::string_view text) {
    // Without exceptions: a text that does not parse comes back discarded.
    auto value = nlohmann::json::parse(text, nullptr, false);
    if (value.is_discarded() || !value.is_object()) return std::nullopt;
    SecretMap items;
    for (const auto& [key, member] : value.items()) {
        if (!member.is_string()) return std::nullopt;
        items.emplace(key, member.get_ref<const std::string&>());
    }
    // The parsed copy holds every secret too.
    for (auto& [key, member] : value.items())
        if (member.is_string()) {
            auto& s = member.get_ref<std::string&>();
            OPENSSL_cleanse(s.data(), s.size());
        }
    return items;
}

constexpr std::size_t kRandomKeyBytes = 32;

// A random key file's text: 64 hex digits and a newline. Anything else is not used.
std::optional<std::string> readKeyFile(const std::string& path) {
    g_autofree char* contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path.c_str(), &contents, &length, nullptr)) return std::nullopt;
    Wiped text{trim(std::string(contents, length))};
    OPENSSL_cleanse(contents, length);
    if (text.text.size() != 2 * kRandomKeyBytes || text.text.find_first_not_of("0123456789abcdef") != std::string::npos)
        return std::nullopt;
    return text.text;
}

// Creates the key file at path unless one is there, and never replaces one: the key is written to
// a temporary file and linked into place, so a reader sees no file or a whole one, and of two
// processes racing, one key wins for both.
common::Status createKeyFile(const std::string& path) {
    unsigned char raw[kRandomKeyBytes];
    if (RAND_bytes(raw, sizeof raw) != 1) return common::Error{common::Error::Kind::Crypto, "no random key"};
    Wiped hex{std::string()};
    hex.text.reserve(2 * kRandomKeyBytes + 1);
    for (unsigned char b : raw) hex.text += "0123456789abcdef"[b >> 4], hex.text += "0123456789abcdef"[b & 15];
    hex.text += '\n';
    OPENSSL_cleanse(raw, sizeof raw);
    std::string temp = path + ".new-XXXXXX";
    int fd = g_mkstemp_full(temp.data(), O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) return common::Error{common::Error::Kind::Io, "cannot create " + temp + ": " + g_strerror(errno)};
    bool written = fchmod(fd, 0600) == 0 &&
                   write(fd, hex.text.data(), hex.text.size()) == static_cast<ssize_t>(hex.text.size()) &&
                   fsync(fd) == 0;
    int err = errno;
    close(fd);
    bool linked = written && link(temp.c_str(), path.c_str()) == 0;
    if (written && !linked) err = errno;
    g_unlink(temp.c_str());
    if (linked || err == EEXIST) return common::Ok{};
    return common::Error{common::Error::Kind::Io, "cannot create " + path + ": " + g_strerror(err)};
}

}  // namespace

common::Bytes seal(std::string_view plaintext, const SealKey& key) {
    common::Bytes box(kNonceSize + plaintext.size() + kTagSize);
    if (RAND_bytes(box.data(), kNonceSize) != 1) return {};
    CipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    int n = 0, tail = 0;
    if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, key.data(), box.data()) != 1 ||
        EVP_EncryptUpdate(ctx.get(), box.data() + kNonceSize, &n,
                          reinterpret_cast<const unsigned char*>(plaintext.data()),
                          static_cast<int>(plaintext.size())) != 1 ||
        EVP_EncryptFinal_ex(ctx.get(), box.data() + kNonceSize + n, &tail) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagSize, box.data() + kNonceSize + plaintext.size()) != 1)
        return {};
    return box;
}

std::optional<std::string> unseal(const common::Bytes& box, const SealKey& key) {
    if (box.size() < kSealOverhead) return std::nullopt;
    const std::size_t length = box.size() - kSealOverhead;
    Wiped plain{std::string(length, '\0')};
    CipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    int n = 0, tail = 0;
    auto* tag = const_cast<unsigned char*>(box.data() + box.size() - kTagSize);
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, key.data(), box.data()) != 1 ||
        EVP_DecryptUpdate(ctx.get(), reinterpret_cast<unsigned char*>(plain.text.data()), &n, box.data() + kNonceSize,
                          static_cast<int>(length)) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, tag) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(plain.text.data()) + n, &tail) != 1)
        return std::nullopt;  // a wrong key or a damaged file fails authentication
    return plain.text;
}

std::string machineText(const std::vector<std::string>& machineIdPaths) {
    for (const auto& path : machineIdPaths) {
        g_autofree char* contents = nullptr;
        if (!g_file_get_contents(path.c_str(), &contents, nullptr, nullptr)) continue;
        std::string text(contents);
        std::string first = trim(text.substr(0, text.find('\n')));
        if (!first.empty()) return first;
    }
    return kNoMachineText;
}

SealKey deriveKey(const std::string& machineText) {
    Wiped material{machineText + kSalt};
    SealKey key{};
    SHA256(reinterpret_cast<const unsigned char*>(material.text.data()), material.text.size(), key.data());
    return key;
}

SealedFile::SealedFile(std::string path, std::vector<std::string> machineIdPaths)
    : path_(std::move(path)), machineIdPaths_(std::move(machineIdPaths)) {}

SealedFile SealedFile::sibling(const std::string& suffix) const { return SealedFile(path_ + suffix, machineIdPaths_); }

std::string SealedFile::defaultPath() { return common::paths::dataHome() + "/TAVRIK/vault.dat"; }

std::vector<std::string> SealedFile::defaultMachineIdPaths() { return {"/etc/machine-id", "/var/lib/dbus/machine-id"}; }

std::string SealedFile::keyPath() const {
    g_autofree char* folder = g_path_get_dirname(path_.c_str());
    return std::string(folder) + "/vault.key";
}

std::optional<std::string> SealedFile::keyText(KeyFile mode, std::string* why) const {
    std::string machine = machineText(machineIdPaths_);
    if (machine != kNoMachineText) return machine;
    // The same text on every machine without an id would seal nothing: a key of this vault's own.
    if (auto key = readKeyFile(keyPath())) return key;
    if (mode == KeyFile::Read) return std::nullopt;
    if (auto made = createKeyFile(keyPath()); !made) {
        if (why) *why = made.error().message;
        return std::nullopt;
    }
    auto key = readKeyFile(keyPath());
    if (!key && why) *why = keyPath() + " is not a vault key";
    return key;
}

SealedFile::Loaded SealedFile::load() const {
    g_autofree char* contents = nullptr;
    gsize length = 0;
    g_autoptr(GError) error = nullptr;
    if (!g_file_get_contents(path_.c_str(), &contents, &length, &error)) {
        bool missing = g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT) ||
                       g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOTDIR);
        return {missing ? State::Missing : State::Unreadable, {}};
    }
    if (length == 0) return {State::Missing, {}};
    common::Bytes box(contents, contents + length);
    auto open = [&box](const std::string& text) {
        SealKey key = deriveKey(text);
        auto plain = unseal(box, key);
        OPENSSL_cleanse(key.data(), key.size());
        return plain;
    };
    std::optional<std::string> plain;
    if (auto text = keyText(KeyFile::Read)) plain = open(*text);
    // Sealed before this machine's vault had a key of its own.
    if (!plain && machineText(machineIdPaths_) == kNoMachineText) plain = open(kNoMachineText);
    if (!plain) return {State::Unreadable, {}};
    Wiped json{std::move(*plain)};
    auto items = parseItems(json.text);
    if (!items) return {State::Unreadable, {}};
    return {State::Opened, std::move(*items)};
}

common::Status SealedFile::save(const SecretMap& items) const {
    json::Object object;
    for (const auto& [key, value] : items) object.emplace_back(key, value);
    auto text = json::write(json::Value(std::move(object)));
    if (!text) return common::Error{common::Error::Kind::Decode, "a key id or secret is not valid UTF-8"};
    Wiped json{std::move(*text)};

    g_autofree char* folder = g_path_get_dirname(path_.c_str());
    if (g_mkdir_with_parents(folder, 0700) != 0)
        return common::Error{common::Error::Kind::Io,
                             std::string("cannot create ") + folder + ": " + g_strerror(errno)};
    std::string why;
    auto material = keyText(KeyFile::Create, &why);
    if (!material) return common::Error{common::Error::Kind::Io, "no key to seal the vault with: " + why};
    SealKey key = deriveKey(*material);
    OPENSSL_cleanse(material->data(), material->size());
    common::Bytes box = seal(json.text, key);
    OPENSSL_cleanse(key.data(), key.size());
    if (box.empty()) return common::Error{common::Error::Kind::Crypto, "sealing failed"};
    // Whole or not at all, and no leftover that the next start would not recognise and remove.
    if (auto written = files::replaceFile(path_, box, files::FileMode::Private); !written) return written.error();
    return common::Ok{};
}

common::Result<std::string> SealedFile::keepAside() const {
    g_autoptr(GDateTime) now = g_date_time_new_now_local();
    g_autofree char* stamp = g_date_time_format(now, "%Y%m%d-%H%M%S");
    std::string base = path_ + ".unreadable-" + stamp;
    std::string target = base;
    for (int i = 2; g_file_test(target.c_str(), G_FILE_TEST_EXISTS); ++i) target = base + "-" + std::to_string(i);
    if (g_rename(path_.c_str(), target.c_str()) != 0)
        return common::Error{common::Error::Kind::Io, "cannot move " + path_ + " aside: " + g_strerror(errno)};
    return target;
}

}  // namespace vault
