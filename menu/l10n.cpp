// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/l10n.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>

#include "common/text.h"
#include "menu/l10n_default_store.h"
#include "menu/l10n_table.h"
#include "menu/shell_texts.h"

namespace menu::L10N {
namespace {

std::atomic<common::SettingsStore*> injected{nullptr};

// Runs `use` with the installed store, or with a key-file store opened for this one access so a
// change of $XDG_CONFIG_HOME is honoured.
template <class Use>
auto withStore(Use use) {
    if (auto* s = injected.load()) return use(*s);
    auto fallback = makeDefaultStore();
    return use(*fallback);
}

bool contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

}  // namespace

const std::vector<std::string>& codes() {
    static const std::vector<std::string> list{"auto", "zh-Hans", "zh-Hant", "en", "ja", "es",
                                               "fr",   "de",      "it",      "pt", "ko"};
    return list;
}

const std::map<std::string, std::string>& nativeNames() {
    static const std::map<std::string, std::string> names = [] {
        std::map<std::string, std::string> m;
        for (const auto& [code, name] : l10n_data::kNativeNames) m.emplace(code, name);
        return m;
    }();
    return names;
}

const std::map<std::string, std::map<std::string, std::string>>& table() {
    static const std::map<std::string, std::map<std::string, std::string>> tables = [] {
        std::map<std::string, std::map<std::string, std::string>> m;
        for (const auto& row : l10n_data::kRows)
            for (int i = 0; i < 9; ++i) m[l10n_data::kLanguages[i]].emplace(row[0], row[i + 1]);
        return m;
    }();
    return tables;
}

const std::map<std::string, std::map<std::string, std::string>>& shellTable() {
    static const std::map<std::string, std::map<std::string, std::string>> tables = [] {
        std::map<std::string, std::map<std::string, std::string>> m;
        for (const auto& row : l10n_data::kShellRows)
            for (int i = 0; i < 9; ++i) m[l10n_data::kLanguages[i]].emplace(row[0], row[i + 1]);
        return m;
    }();
    return tables;
}

void setStore(common::SettingsStore* store) { injected.store(store); }

void unsetStore(common::SettingsStore* store) { injected.compare_exchange_strong(store, nullptr); }

std::string pref() {
    return withStore([](common::SettingsStore& s) { return s.get(key).value_or("auto"); });
}

void setPref(const std::string& value) {
    withStore([&](common::SettingsStore& s) { s.set(key, value); });
}

std::string localeToTag(std::string_view locale) {
    // Drop the codeset and the modifier; the separator becomes a hyphen.
    std::string tag(locale.substr(0, locale.find_first_of(".@")));
    std::replace(tag.begin(), tag.end(), '_', '-');
    return tag;
}

std::vector<std::string> preferredLanguages() {
    // LANGUAGE may list several, colon-separated; the other variables hold one locale each.
    if (const char* list = std::getenv("LANGUAGE"); list && *list) {
        std::vector<std::string> tags;
        std::string_view rest(list);
        while (!rest.empty()) {
            auto colon = rest.find(':');
            auto tag = localeToTag(rest.substr(0, colon));
            if (!tag.empty()) tags.push_back(tag);
            rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        }
        if (!tags.empty()) return tags;
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            auto tag = localeToTag(value);
            if (!tag.empty()) return {tag};
        }
    }
    return {"C"};
}

std::string resolve(const std::string& pref, const std::optional<std::string>& firstPreferred) {
    if (pref != "auto") return pref;
    std::string tag = common::asciiLower(firstPreferred.value_or("zh-Hans"));
    if (tag.rfind("zh", 0) == 0) {
        for (const char* traditional : {"hant", "tw", "hk", "mo"})
            if (contains(tag, traditional)) return "zh-Hant";
        return "zh-Hans";
    }
    for (const char* code : {"ja", "es", "fr", "de", "it", "pt", "ko"})
        if (tag.rfind(code, 0) == 0) return code;
    return "en";
}

std::string lang() {
    auto preferred = preferredLanguages();
    return resolve(pref(), preferred.empty() ? std::nullopt : std::optional(preferred.front()));
}

std::string t(const std::string& textKey, const std::string& language) {
    if (language == "zh-Hans") return textKey;
    for (const char* code : {language.c_str(), "en"})
        for (const auto* tables : {&table(), &shellTable()}) {
            auto entry = tables->find(code);
            if (entry == tables->end()) continue;
            if (auto text = entry->second.find(textKey); text != entry->second.end()) return text->second;
        }
    return textKey;
}

std::string t(const std::string& textKey) { return t(textKey, lang()); }

}  // namespace menu::L10N
