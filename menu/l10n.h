// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The interface language and the native texts. Keys are the Simplified Chinese texts themselves:
// code that needs a text writes the Chinese and passes it through t().
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/settings_store.h"

namespace menu::L10N {

// The settings key of the interface language preference.
inline constexpr const char* key = "tavrik.lang";

// The values the preference may take, "auto" (follow the system) first, then the ten languages.
const std::vector<std::string>& codes();
// Each language's name in that language.
const std::map<std::string, std::string>& nativeNames();
// Language code → key → text, for the nine languages other than "zh-Hans" (whose texts are the keys).
const std::map<std::string, std::map<std::string, std::string>>& table();
// The same for the shell's own texts beside the menu's (alerts and messages); t() looks in both.
const std::map<std::string, std::map<std::string, std::string>>& shellTable();

// The process-wide store of the preference. Null puts back the default, the settings key file of
// the current $XDG_CONFIG_HOME. The caller keeps `store` alive while it is installed.
void setStore(common::SettingsStore* store);
// Puts the default back if `store` is the one installed (an owner going away).
void unsetStore(common::SettingsStore* store);

// The stored preference, "auto" when nothing is stored; not checked against codes().
std::string pref();
// Stores the preference and nothing more: rebuilding the menu and telling the page are the callers'.
void setPref(const std::string& value);

// A POSIX locale name as a language tag: "zh_TW.UTF-8" → "zh-TW", "sr_RS@latin" → "sr-RS".
std::string localeToTag(std::string_view locale);
// The user's preferred languages as tags, most preferred first, read from LANGUAGE, LC_ALL,
// LC_MESSAGES and LANG now (never cached), in the order GLib gives them: "C" when none is set.
std::vector<std::string> preferredLanguages();
// The resolution rule: a stored preference other than "auto" wins as it stands; otherwise the
// first preferred language decides ("zh-Hans" when there is none).
std::string resolve(const std::string& pref, const std::optional<std::string>& firstPreferred);
// The language in force, resolved afresh on every call.
std::string lang();

// The text of `key` in `language`: the translation, else English, else the key itself.
// Placeholders such as {n} are never filled.
std::string t(const std::string& key, const std::string& language);
// The same in the language in force. Main thread.
std::string t(const std::string& key);

}  // namespace menu::L10N
