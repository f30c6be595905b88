// SPDX-License-Identifier: GPL-3.0-or-later
#include "vault/vault.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "common/json.h"
#include "files/file_io.h"
#include "vault/key_origins.h"

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
      journalFile_(file_.sibling(".pending")),
      originsFile_(file_.sibling(".origins")) {
    // A write of an earlier run cut short by a crash or a kill left its temporary file beside ours.
    auto slash = file_.path().rfind('/');
    if (slash != std::string::npos) files::sweepTemporaries(file_.path().substr(0, slash));
    loadFile();
}

bool Vault::validKeyId(const std::string& keyId) { return !keyId.empty() && keyId.find('\0') == std::string::npos; }

void Vault::loadFile() {
    auto loaded = file_.load();
    keepAside_ = loaded.state == SealedFile::State::Unreadable;
    fileItems_ = std::move(loaded.items);
    if (!fileItems_.empty()) backend_ = "file";
    // An unreadable vault file takes the journal's meaning with it: the keychain is then the only
    // store. A missing one leaves the journal's deletes to play (replay() keeps the keychain's item
    // of a set whose value went with the file).
    if (!keepAside_) journal_ = journalFile_.load().items;
    // Unreadable origins unbind every key: each is bound again to the first origin it is sent to,
    // as a key stored before keys had origins.
    origins_ = originsFile_.load().items;
}

std::vector<std::string> Vault::origins(const std::string& keyId) const {
    auto it = origins_.find(keyId);
    return it == origins_.end() ? std::vector<std::string>{} : splitOrigins(it->second);
}

bool Vault::setOrigins(const std::string& keyId, const std::vector<std::string>& origins) {
    if (!validKeyId(keyId)) return false;
    auto it = origins_.find(keyId);
    std::optional<std::string> before = it == origins_.end() ? std::nullopt : std::optional(it->second);
    std::string stored = joinOrigins(origins);
    if (stored.empty() ? !before : before == stored) return true;
    if (stored.empty())
        origins_.erase(keyId);
    else
        origins_[keyId] = stored;
    if (origins_.empty()) {
        std::remove(originsFile_.path().c_str());
        return true;
    }
    auto saved = originsFile_.save(origins_);
    if (saved) return true;
    log_("[Vault] origins save failed: " + saved.error().message);
    if (before)
        origins_[keyId] = *before;
    else
        origins_.erase(keyId);
    return false;
}

bool Vault::allowOrigin(const std::string& keyId, const std::string& origin) {
    auto list = origins(keyId);
    if (std::find(list.begin(), list.end(), origin) != list.end()) return true;
    list.push_back(origin);
    return setOrigins(keyId, list);
}

bool Vault::journal(const std::string& keyId, const char* op) {
    auto it = journal_.find(keyId);
    std::optional<std::string> before = it == journal_.end() ? std::nullopt : std::optional(it->second);
    journal_[keyId] = op;
    if (auto saved = journalFile_.save(journal_); !saved) {
        log_("[Vault] journal save failed: " + saved.error().message);
        // Memory says what a restart would find.
        if (before)
            journal_[keyId] = *before;
        else
            journal_.erase(keyId);
        return false;
    }
    return true;
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
        if (it->second == kSet && held == fileItems_.end()) {
            // The value owed to the keychain is gone with its file (deleted by hand, say): the
            // keychain's item is now the last copy of the key, and stays.
            it = journal_.erase(it);
            changed = true;
            continue;
        }
        std::optional<KeychainError> failed =
            it->second == kSet ? keychain_->add(it->first, held->second) : keychain_->remove(it->first);
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
        setAside_ = kept.value();
        std::remove(journalFile_.path().c_str());  // it spoke of the file just moved, and was not read
        log_("[Vault] vault file could not be opened; kept as " + setAside_);
    }
    auto saved = file_.save(fileItems_);
    if (!saved) {
        log_("[Vault] file save failed: " + saved.error().message);
        return false;
    }
    return true;
}

bool Vault::saveChange(const std::string& keyId, const std::optional<std::string>& value) {
    auto it = fileItems_.find(keyId);
    std::optional<std::string> before = it == fileItems_.end() ? std::nullopt : std::optional(it->second);
    if (!before && !value && !keepAside_) return true;  // nothing to remove from the file
    auto apply = [&](const std::optional<std::string>& v) {
        if (v)
            fileItems_[keyId] = *v;
        else
            fileItems_.erase(keyId);
    };
    apply(value);
    if (saveFile()) return true;
    // A change counts only once it is stored: memory goes back to what the file holds.
    apply(before);
    return false;
}

bool Vault::set(const std::string& keyId, const std::string& value) {
    if (!validKeyId(keyId)) return false;
    if (value.empty()) return remove(keyId);
    // An earlier missed write goes first, so the keychain sees the page's writes in their order.
    std::optional<KeychainError> refused =
        replay() ? keychain_->add(keyId, value) : KeychainError{-1, "earlier writes still wait for the keychain"};
    if (refused) log_("[Vault] keychain add failed: " + std::to_string(refused->code) + " (" + refused->message + ")");
    bool saved = saveChange(keyId, value);
    if (!refused) {
        backend_ = "keychain";
        return true;  // the keychain holds it, whatever the file managed
    }
    if (!saved) return false;  // neither store took it
    backend_ = "file";
    // Whatever the keychain holds for this key is now stale; the file answers until it is replaced.
    return journal(keyId, kSet);
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
    // The file first: one that still held the key would bring it back at the next start, and the
    // keychain is then left alone, so that a refused delete changes nothing at all.
    if (!saveChange(keyId, std::nullopt)) return false;
    setOrigins(keyId, {});  // a key stored again later under this id starts unbound
    std::optional<KeychainError> failed =
        replay() ? keychain_->remove(keyId) : KeychainError{-1, "earlier writes still wait for the keychain"};
    // A keychain item left behind must not come back through reads: it is deleted when the keychain
    // answers again, as long as the journal can say so.
    if (failed) return journal(keyId, kDelete);
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
