#include "menu/menu_commands.h"

#include <algorithm>
#include <charconv>

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

std::optional<std::string> pageCallForTag(int tag) {
    static const char* const kFixed[] = {"openJSON",    "export:png", "export:jpg", "export:pdf", "export:docx",
                                         "export:pptx", "export:odp", "export:odt", "importPaper"};
    if (tag == 0) return "typeof saveJSON==='function' && saveJSON()";
    if (tag >= 1 && tag <= 9) return pageAction(kFixed[tag - 1]);
    if (tag >= 201 && tag <= 205) return pageAction("export:png:" + std::to_string(tag - 200));
    if (tag >= 301 && tag <= 305) return pageAction("export:jpg:" + std::to_string(tag - 300));
    if (tag >= kSensTagBase && tag < kSensTagBase + int(kSensFactors.size()))
        return pageAction("zoomsens:" + factorText(kSensFactors[tag - kSensTagBase]));
    if (tag == kZoomFitTag) return pageAction("zoom:fit");
    if (tag == kZoomActualTag) return pageAction("zoom:100");
    return std::nullopt;
}

std::optional<std::string> langCodeForTag(int tag) {
    const auto& codes = L10N::codes();
    int index = tag - kLangTagBase;
    if (index < 0 || index >= int(codes.size())) return std::nullopt;
    return codes[index];
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
