#include "vault/vault.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <cstdio>
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

namespace {
constexpr const char* kSet = "set";
constexpr const char* kDelete = "delete";
}  // namespace

Vault::Vault(std::shared_ptr<Keychain> keychain, SealedFile file, Log log)
    : keychain_(std::move(keychain)),
      file_(std::move(file)),
      log_(std::move(log)),
      journalFile_(file_.sibling(".pending")) {
    loadFile();
}

bool Vault::validKeyId(const std::string& keyId) { return !keyId.empty() && keyId.find('\0') == std::string::npos; }

void Vault::loadFile() {
    auto loaded = file_.load();
    keepAside_ = loaded.state == SealedFile::State::Unreadable;
    fileItems_ = std::move(loaded.items);
    if (!fileItems_.empty()) backend_ = "file";
    // Without its vault file the journal means nothing: the keychain is then the only store.
    if (!keepAside_) journal_ = journalFile_.load().items;
}

void Vault::journal(const std::string& keyId, const char* op) {
    journal_[keyId] = op;
    if (auto saved = journalFile_.save(journal_); !saved) log_("[Vault] journal save failed: " + saved.error().message);
}

std::vector<std::string> Vault::unsynced() const {
    std::vector<std::string> keys;
    for (const auto& [keyId, op] : journal_) keys.push_back(keyId);
    return keys;
}

bool Vault::replay() {
    if (journal_.empty()) return true;
    bool changed = false;
    for (auto it = journal_.begin(); it != journal_.end();) {
        auto held = fileItems_.find(it->first);
        std::optional<KeychainError> failed = held != fileItems_.end() && it->second == kSet
                                                  ? keychain_->add(it->first, held->second)
                                                  : keychain_->remove(it->first);
        if (failed) break;
        it = journal_.erase(it);
        changed = true;
    }
    if (changed) {
        if (journal_.empty())
            std::remove(journalFile_.path().c_str());
        else if (auto saved = journalFile_.save(journal_); !saved)
            log_("[Vault] journal save failed: " + saved.error().message);
    }
    return journal_.empty();
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
    if (!validKeyId(keyId)) return false;
    if (value.empty()) return remove(keyId);
    // An earlier missed write goes first, so the keychain sees the page's writes in their order.
    std::optional<KeychainError> refused =
        replay() ? keychain_->add(keyId, value) : KeychainError{-1, "earlier writes still wait for the keychain"};
    if (refused) log_("[Vault] keychain add failed: " + std::to_string(refused->code) + " (" + refused->message + ")");
    fileItems_[keyId] = value;
    bool saved = saveFile();
    // Whatever the keychain holds for this key is now stale; the file answers until it is replaced.
    if (refused && saved) journal(keyId, kSet);
    backend_ = refused ? "file" : "keychain";
    return !refused || saved;
}

std::optional<std::string> Vault::get(const std::string& keyId) {
    if (!validKeyId(keyId)) return std::nullopt;
    auto fromFile = [&]() -> std::optional<std::string> {
        auto it = fileItems_.find(keyId);
        if (it == fileItems_.end()) return std::nullopt;
        return it->second;
    };
    if (!replay() && journal_.count(keyId)) return fromFile();
    auto fromKeychain = keychain_->read(keyId);
    if (fromKeychain && !fromKeychain->empty() && json::validUtf8(*fromKeychain)) return fromKeychain;
    return fromFile();
}

bool Vault::remove(const std::string& keyId) {
    if (!validKeyId(keyId)) return false;
    std::optional<KeychainError> failed =
        replay() ? keychain_->remove(keyId) : KeychainError{-1, "earlier writes still wait for the keychain"};
    fileItems_.erase(keyId);
    bool saved = saveFile();
    // A keychain item left behind must not come back through reads: it is deleted when the keychain
    // answers again. (Without a file to say so, the keychain's item would be all there is.)
    if (failed && saved) journal(keyId, kDelete);
    return true;
}

std::vector<std::string> Vault::allKeys() {
    bool synced = replay();
    std::set<std::string> keys;
    for (const auto& [keyId, value] : fileItems_) keys.insert(keyId);
    for (auto& account : keychain_->accounts()) {
        auto it = journal_.find(account);
        if (synced || it == journal_.end() || it->second != kDelete) keys.insert(std::move(account));
    }
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
