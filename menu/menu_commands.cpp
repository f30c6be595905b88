// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/menu_commands.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "bridge/page_calls.h"
#include "menu/l10n.h"
#include "menu/menu_model.h"

namespace menu {
namespace {

std::string guardedCall(const char* name, const std::string& arg) {
    // A string can always be written as JSON once it is UTF-8, and these are ASCII.
    return bridge::pagecall::text(name, bridge::pagecall::Form::Guarded, arg).value_or("");
}

std::string pageAction(const std::string& command) { return guardedCall("__menuAction", command); }

}  // namespace

Command commandForTag(int tag) {
    using Kind = Command::Kind;
    // The one table of tags: the page's fixed actions, the two export size series, the zoom
    // commands, then the sensitivity and language items, each numbered from its base.
    static const std::map<int, Command> table = [] {
        std::map<int, Command> m;
        m[0] = {Kind::SaveJSON, ""};
        const char* const fixed[] = {"openJSON",    "export:png", "export:jpg", "export:pdf", "export:docx",
                                     "export:pptx", "export:odp", "export:odt", "importPaper"};
        for (int i = 0; i < 9; ++i) m[i + 1] = {Kind::PageAction, fixed[i]};
        for (int n = 1; n <= 5; ++n) {
            m[200 + n] = {Kind::PageAction, "export:png:" + std::to_string(n)};
            m[300 + n] = {Kind::PageAction, "export:jpg:" + std::to_string(n)};
        }
        m[kZoomFitTag] = {Kind::PageAction, "zoom:fit"};
        m[kZoomActualTag] = {Kind::PageAction, "zoom:100"};
        m[kNewTag] = {Kind::NewBoard, "new"};
        m[kSaveAsTag] = {Kind::PageAction, "saveAs"};
        m[kUndoTag] = {Kind::Undo, "undo"};
        m[kRedoTag] = {Kind::Redo, "redo"};
        for (int i = 0; i < kRecentMax; ++i) m[kRecentTagBase + i] = {Kind::OpenRecent, std::to_string(i)};
        m[kClearRecentTag] = {Kind::ClearRecent, ""};
        for (std::size_t i = 0; i < kSensFactors.size(); ++i)
            m[kSensTagBase + int(i)] = {Kind::Sensitivity, std::to_string(i)};
        const auto& codes = L10N::codes();
        for (std::size_t i = 0; i < codes.size(); ++i) m[kLangTagBase + int(i)] = {Kind::Language, codes[i]};
        return m;
    }();
    auto found = table.find(tag);
    return found == table.end() ? Command{} : found->second;
}

std::optional<std::string> pageCall(const Command& command) {
    switch (command.kind) {
        case Command::Kind::SaveJSON:
            return "typeof saveJSON==='function' && saveJSON()";
        case Command::Kind::PageAction:
        case Command::Kind::NewBoard:
        case Command::Kind::Undo:
        case Command::Kind::Redo:
            return pageAction(command.arg);
        case Command::Kind::Sensitivity:
            if (auto i = sensIndex(command)) return pageAction("zoomsens:" + factorText(kSensFactors[*i]));
            return std::nullopt;
        case Command::Kind::Language:
        case Command::Kind::OpenRecent:
        case Command::Kind::ClearRecent:
        case Command::Kind::None:
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::size_t> sensIndex(const Command& command) {
    if (command.kind != Command::Kind::Sensitivity) return std::nullopt;
    std::size_t i = 0;
    auto [end, ec] = std::from_chars(command.arg.data(), command.arg.data() + command.arg.size(), i);
    if (ec != std::errc{} || end != command.arg.data() + command.arg.size() || i >= kSensFactors.size())
        return std::nullopt;
    return i;
}

std::optional<std::string> pageCallForTag(int tag) { return pageCall(commandForTag(tag)); }

std::optional<std::string> langCodeForTag(int tag) {
    Command command = commandForTag(tag);
    if (command.kind != Command::Kind::Language) return std::nullopt;
    return command.arg;
}

std::string setLangCall(const std::string& code) { return guardedCall("__setLang", code); }

std::string storedLangCall(const std::string& pref) {
    bool plainTag =
        !pref.empty() && pref.size() <= 35 && pref.front() != '-' && std::all_of(pref.begin(), pref.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        });
    return setLangCall(plainTag ? pref : "en");
}

std::string factorText(double factor) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, factor);
    std::string text(buf, ec == std::errc{} ? end : buf);
    if (text.find_first_of(".eEn") == std::string::npos) text += ".0";  // 1 → 1.0; inf and nan stay
    return text;
}

}  // namespace menu
