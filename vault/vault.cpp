#include "vault/vault.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <set>

#include "common/json.h"

namespace vault {
namespace {

// Byte offsets of the grapheme cluster boundaries of UTF-8 text, 0 and size() included.
std::vector<std::size_t> graphemeBoundaries(std::string_view text) {
    std::vector<std::size_t> bounds;
    UErrorCode status = U_ZERO_ERROR;
    UText* ut = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_SUCCESS(status) && it) {
        it->setText(ut, status);
        if (U_SUCCESS(status))
            for (int32_t b = it->first(); b != icu::BreakIterator::DONE; b = it->next())
                bounds.push_back(static_cast<std::size_t>(b));
    }
    utext_close(ut);
    if (bounds.empty() || bounds.back() != text.size()) {
        // ICU unavailable: fall back to one character per byte that starts a code point.
        bounds.clear();
        for (std::size_t i = 0; i < text.size(); ++i)
            if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) bounds.push_back(i);
        bounds.push_back(text.size());
    }
    return bounds;
}

}  // namespace

Vault::Vault(std::shared_ptr<Keychain> keychain, SealedFile file, Log log)
    : keychain_(std::move(keychain)), file_(std::move(file)), log_(std::move(log)) {
    loadFile();
}

void Vault::loadFile() {
    auto loaded = file_.load();
    keepAside_ = loaded.state == SealedFile::State::Unreadable;
    fileItems_ = std::move(loaded.items);
    if (!fileItems_.empty()) backend_ = "file";
}

bool Vault::saveFile() {
    if (keepAside_) {
        auto kept = file_.keepAside();
        if (!kept) {
            // Replacing it would lose whatever it holds; keep writing nothing until it can move.
            log_("[Vault] file save failed: " + kept.error().message);
            return false;
        }
        keepAside_ = false;
        log_("[Vault] vault file could not be opened; kept as " + kept.value());
    }
    auto saved = file_.save(fileItems_);
    if (!saved) {
        log_("[Vault] file save failed: " + saved.error().message);
        return false;
    }
    return true;
}

bool Vault::set(const std::string& keyId, const std::string& value) {
    if (keyId.empty()) return false;
    if (value.empty()) return remove(keyId);
    auto refused = keychain_->add(keyId, value);
    if (refused) log_("[Vault] keychain add failed: " + std::to_string(refused->code) + " (" + refused->message + ")");
    fileItems_[keyId] = value;
    bool saved = saveFile();
    backend_ = refused ? "file" : "keychain";
    return !refused || saved;
}

std::optional<std::string> Vault::get(const std::string& keyId) {
    if (keyId.empty()) return std::nullopt;
    auto fromKeychain = keychain_->read(keyId);
    if (fromKeychain && !fromKeychain->empty() && json::validUtf8(*fromKeychain)) return fromKeychain;
    auto it = fileItems_.find(keyId);
    if (it == fileItems_.end()) return std::nullopt;
    return it->second;
}

bool Vault::remove(const std::string& keyId) {
    if (keyId.empty()) return false;
    keychain_->remove(keyId);
    fileItems_.erase(keyId);
    (void)saveFile();
    return true;
}

std::vector<std::string> Vault::allKeys() {
    std::set<std::string> keys;
    for (const auto& [keyId, value] : fileItems_) keys.insert(keyId);
    for (auto& account : keychain_->accounts()) keys.insert(std::move(account));
    return {keys.begin(), keys.end()};
}

std::string Vault::hint(std::string_view value) {
    if (value.empty()) return "";
    auto bounds = graphemeBoundaries(value);
    const std::size_t count = bounds.size() - 1;
    if (count <= 8) {
        std::string bullets;
        for (std::size_t i = 0; i < count; ++i) bullets += "\u2022";
        return bullets;
    }
    return std::string(value.substr(0, bounds[3])) + "\u2026" + std::string(value.substr(bounds[count - 4]));
}

}  // namespace vault
