// SPDX-License-Identifier: GPL-3.0-or-later
// Every Chinese text the shell shows or sends is translated: the ones it looks up through L10N
// (the menu's sheet and any table of its own texts beside it) in every language, with their
// placeholders, and not left in English; the ones it sends to the page are texts the page knows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "menu/l10n.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kLanguages{"zh-Hant", "en", "ja", "es", "fr", "de", "it", "pt", "ko"};

// Keys whose text rightly reads the same as English in a language ("*" = every language).
const std::map<std::string, std::set<std::string>> kSameAsEnglish{
    {"好", {"ja", "es", "fr", "de", "it", "pt"}},  // "OK"
    {"确定", {"ja", "de", "it", "pt"}},            // "OK"
    {"文件", {"it"}},                              // "File"
    {"标准", {"fr", "de", "it"}},                  // "Standard"
    {"100%", {"es", "fr", "de", "it"}},            // "100 %"
};
// Keys whose Traditional text uses the same characters as the Simplified key.
const std::set<std::string> kSameInTraditional{"很慢", "柔和", "快", "很快", "好", "取消", "等待", "100%", "重做"};
// Texts the shell shows in Chinese in every language on purpose: the import item's full title is
// only its accessible form (the menu shows its runs), and the default names of a PDF series and of a
// dropped picture are file names.
const std::set<std::string> kUntranslated{"导入 PDF 手帐模板（BETA）…", "TAVRIK-系列", "拖入图片-"};

std::set<std::string> placeholders(const std::string& text) {
    static const std::regex braces(R"(\{\w+\})");
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), braces); it != std::sregex_iterator(); ++it)
        found.insert(it->str());
    return found;
}

bool hasHan(const std::string& s) {
    // Every CJK ideograph of the basic block is encoded as E4–E9 followed by two continuation bytes.
    for (unsigned char c : s)
        if (c >= 0xE4 && c <= 0xE9) return true;
    return false;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The checks of one key, made through L10N::t so they cover whatever table it is found in.
void checkKey(const std::string& key) {
    SCOPED_TRACE(key);
    const std::string english = menu::L10N::t(key, "en");
    ASSERT_NE(english, key) << "no translation in any table";
    for (const auto& lang : kLanguages) {
        std::string text = menu::L10N::t(key, lang);
        EXPECT_EQ(placeholders(text), placeholders(key)) << lang << ": " << text;
        if (lang == "zh-Hant") {
            EXPECT_TRUE(text != key || kSameInTraditional.count(key)) << "zh-Hant left in Simplified";
        } else if (lang != "en" && text == english) {
            auto allowed = kSameAsEnglish.find(key);
            EXPECT_TRUE(allowed != kSameAsEnglish.end() && allowed->second.count(lang))
                << lang << " left in English: " << text;
        }
    }
}

TEST(Translations, EveryRowOfTheSheetIsTranslatedWithItsPlaceholders) {
    for (const auto& [key, text] : menu::L10N::table().at("en")) checkKey(key);
    // The exceptions stay honest: each one still reads as English where it is listed.
    for (const auto& [key, langs] : kSameAsEnglish)
        for (const auto& lang : langs) EXPECT_EQ(menu::L10N::t(key, lang), menu::L10N::t(key, "en")) << key << lang;
}

// The string literals with Chinese in the shell's sources. Rows of a translation sheet (ten or
// more literals on one line) and comments are left out.
std::map<std::string, std::string> chineseLiterals() {
    static const std::regex literal(R"re("((?:[^"\\]|\\.)*)")re");
    std::map<std::string, std::string> found;  // text → where
    for (const char* folder :
         {"app", "bridge", "common", "drop", "files", "gobj", "menu", "net", "vault", "webpolicy"}) {
        fs::path dir = fs::path(TAVRIK_SOURCE_DIR) / folder;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            auto ext = entry.path().extension();
            if (ext != ".cpp" && ext != ".h") continue;
            std::istringstream lines(readFile(entry.path()));
            std::string line;
            for (int number = 1; std::getline(lines, line); ++number) {
                static const std::regex comment(R"(^\s*//|\s//\s)");
                std::smatch c;
                if (std::regex_search(line, c, comment)) line = line.substr(0, c.position(0));
                std::vector<std::string> texts;
                for (auto it = std::sregex_iterator(line.begin(), line.end(), literal); it != std::sregex_iterator();
                     ++it)
                    texts.push_back((*it)[1].str());
                if (texts.size() >= 10) continue;
                for (const auto& text : texts)
                    if (hasHan(text))
                        found.emplace(text, entry.path().lexically_relative(TAVRIK_SOURCE_DIR).string() + ":" +
                                                std::to_string(number));
            }
        }
    }
    return found;
}

TEST(Translations, EveryChineseTextOfTheShellIsTranslatedHereOrByThePage) {
    const std::string page = readFile(fs::path(TAVRIK_SOURCE_DIR) / "html" / "i18n.js");
    ASSERT_FALSE(page.empty());
    auto literals = chineseLiterals();
    ASSERT_TRUE(literals.count("文件")) << "the scan finds the menu's texts";
    for (const auto& [text, where] : literals) {
        SCOPED_TRACE(where);
        if (kUntranslated.count(text)) continue;
        if (menu::L10N::t(text, "en") != text) {
            checkKey(text);
            continue;
        }
        // Sent to the page (a reply's error, a toast call): the page shows it in its own language
        // only when it knows the Simplified text word for word.
        static const std::regex quoted(R"('([^']*)')");
        std::smatch inner;
        std::string shown = std::regex_search(text, inner, quoted) ? inner[1].str() : text;
        EXPECT_NE(page.find("'" + shown + "'"), std::string::npos)
            << "\"" << shown << "\" has no translation in the shell's tables or the page's texts";
    }
}

}  // namespace
