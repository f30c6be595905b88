// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What each menu tag asks of the page: guarded page calls, written by the bridge's call builder.
#include <cstddef>
#include <optional>
#include <string>

#include "menu/command.h"

namespace menu {

// The page call of a command: saveJSON() or a guarded __menuAction (for New, Undo and Redo the call
// the page gets once the shell has done its part); none for a language, the recent boards or None.
std::optional<std::string> pageCall(const Command& command);
// The index in kSensFactors of a sensitivity command; none for any other command.
std::optional<std::size_t> sensIndex(const Command& command);
// The page call of a tag that drives the page (0–9, 201–205, 301–305, 400–404, 600–601, 700–703);
// none otherwise.
std::optional<std::string> pageCallForTag(int tag);
// The language code of a language item (500 → "auto", 501–510 → the ten languages); none otherwise.
std::optional<std::string> langCodeForTag(int tag);
// Tells the page its new interface language.
std::string setLangCall(const std::string& code);
// Tells a freshly loaded page the stored preference. A stored value is not limited to the fixed
// list (the settings file may be edited by hand): one that is no plain language tag is sent as
// "en", the language the menus then show.
std::string storedLangCall(const std::string& pref);
// The shortest text that reads back as the same double, always with a digit after the point.
std::string factorText(double factor);

}  // namespace menu
