// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/l10n.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>

#include "fakes/fakes.h"
#include "support/gtk_support.h"

namespace {

using menu::L10N::resolve;

// Sets the locale variables for one test and puts the old values back afterwards.
class LocaleEnv {
public:
    LocaleEnv() {
        for (const char* name : kNames)
            if (const char* v = std::getenv(name)) saved_.emplace_back(name, v);
        clear();
    }
    ~LocaleEnv() {
        clear();
        for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
    }
    void set(const char* name, const char* value) { setenv(name, value, 1); }
    static void clear() {
        for (const char* name : kNames) unsetenv(name);
    }

private:
    static constexpr const char* kNames[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::pair<std::string, std::string>> saved_;
};

struct StoreScope {
    fakes::MemorySettings settings;
    StoreScope() { menu::L10N::setStore(&settings); }
    ~StoreScope() { menu::L10N::setStore(nullptr); }
};

TEST(L10N, ResolvesTheFirstPreferredLanguage) {
    struct Case {
        const char* pref;
        std::optional<std::string> first;
        const char* expected;
    };
    const Case cases[] = {
        {"auto", "zh-Hant-TW", "zh-Hant"},
        {"auto", "zh-HK", "zh-Hant"},
        {"auto", "zh-MO", "zh-Hant"},
        {"auto", "zh-Hans-MO", "zh-Hant"},
        {"auto", "ZH-tw", "zh-Hant"},
        {"auto", "zh-Hans-CN", "zh-Hans"},
        {"auto", "zh-SG", "zh-Hans"},
        {"auto", "zh", "zh-Hans"},
        {"auto", "en-GB", "en"},
        {"auto", "nl-NL", "en"},
        {"auto", "ru", "en"},
        {"auto", "yue-Hant-HK", "en"},
        {"auto", "pt-BR", "pt"},
        {"auto", "es-419", "es"},
        {"auto", "ko-KR", "ko"},
        {"auto", "jav", "ja"},
        {"auto", "de", "de"},
        {"auto", "C", "en"},
        {"auto", "POSIX", "en"},
        {"auto", std::nullopt, "zh-Hans"},
        {"ja", "fr-FR", "ja"},
        {"xx", "de", "xx"},
        {"zh-Hant", "en", "zh-Hant"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolve(c.pref, c.first), c.expected) << c.pref << " / " << c.first.value_or("(none)");
}

TEST(L10N, ReadsThePreferredLanguageFromTheEnvironmentOnEveryCall) {
    StoreScope store;
    LocaleEnv env;
    struct Case {
        std::vector<std::pair<const char*, const char*>> vars;
        const char* firstTag;
        const char* lang;
    };
    const Case cases[] = {
        {{}, "C", "en"},
        {{{"LANG", "zh_TW.UTF-8"}}, "zh-TW", "zh-Hant"},
        {{{"LANG", "C"}}, "C", "en"},
        {{{"LANG", "POSIX"}}, "POSIX", "en"},
        {{{"LANG", "sr_RS@latin"}}, "sr-RS", "en"},
        {{{"LANGUAGE", "de:en"}, {"LANG", "fr_FR.UTF-8"}}, "de", "de"},
        {{{"LANGUAGE", ""}, {"LC_ALL", "ja_JP.UTF-8"}, {"LANG", "fr_FR"}}, "ja-JP", "ja"},
        {{{"LANGUAGE", ":pt_BR:en"}}, "pt-BR", "pt"},
        {{{"LC_MESSAGES", "ko_KR.UTF-8"}, {"LANG", "de_DE.UTF-8"}}, "ko-KR", "ko"},
        {{{"LC_ALL", "zh_CN.UTF-8"}, {"LC_MESSAGES", "en_US"}}, "zh-CN", "zh-Hans"},
    };
    for (const auto& c : cases) {
        LocaleEnv::clear();
        std::string label;
        for (auto [name, value] : c.vars) env.set(name, value), label += std::string(name) + "=" + value + " ";
        auto tags = menu::L10N::preferredLanguages();
        ASSERT_FALSE(tags.empty()) << label;
        EXPECT_EQ(tags.front(), c.firstTag) << label;
        EXPECT_EQ(menu::L10N::lang(), c.lang) << label;
    }
}

TEST(L10N, LooksTextsUpWithEnglishThenTheKeyAsFallback) {
    struct Case {
        const char* lang;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"de", "跟随画布", "An Leinwand anpassen"},
        {"zh-Hans", "跟随画布", "跟随画布"},
        {"xx", "文件", "File"},  // a stored code of no language answers in English
        {"en", "已采集 {n} 项", "{n} items captured"},
        {"zh-Hant", "界面语言：{lang}", "介面語言：{lang}"},
        {"fr", "保存画布？", "Enregistrer le canevas ?"},
        {"ko", "缩放灵敏度", "확대/축소 감도"},
        {"ja", "打开 JSON…", "JSON を開く…"},
        {"de", "PNG 图片", "PNG-Bild"},
        {"xx", "导入 PDF 手帐模板（BETA）…", "导入 PDF 手帐模板（BETA）…"},
        {"en", "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(menu::L10N::t(c.key, c.lang), c.expected) << c.lang << " " << c.key;
}

TEST(L10N, EveryLanguageCarriesTheSame58Keys) {
    const auto& table = menu::L10N::table();
    ASSERT_EQ(table.size(), 9u);
    std::set<std::string> keys;
    for (const auto& [key, text] : table.at("en")) keys.insert(key);
    EXPECT_EQ(keys.size(), 58u);
    for (const auto& [lang, texts] : table) {
        std::set<std::string> own;
        for (const auto& [key, text] : texts) {
            own.insert(key);
            EXPECT_FALSE(text.empty()) << lang << " " << key;
        }
        EXPECT_EQ(own, keys) << lang;
    }
    EXPECT_FALSE(table.count("zh-Hans"));
    const auto& names = menu::L10N::nativeNames();
    EXPECT_EQ(names.size(), 10u);
    for (std::size_t i = 1; i < menu::L10N::codes().size(); ++i) EXPECT_TRUE(names.count(menu::L10N::codes()[i]));
    EXPECT_EQ(names.at("pt"), "Português");
    EXPECT_EQ(names.at("zh-Hant"), "繁體中文");
}

TEST(L10N, ThePreferenceDecidesTheNextLookup) {
    StoreScope store;
    LocaleEnv env;
    env.set("LANGUAGE", "fr_FR");
    EXPECT_EQ(menu::L10N::pref(), "auto");
    EXPECT_EQ(menu::L10N::t("文件"), "Fichier");
    menu::L10N::setPref("ja");
    EXPECT_EQ(store.settings.values.at("tavrik.lang"), "ja");
    EXPECT_EQ(menu::L10N::t("文件"), "ファイル");
    menu::L10N::setPref("auto");
    EXPECT_EQ(menu::L10N::t("文件"), "Fichier");
    menu::L10N::setPref("xx");  // written by hand into the settings file, say
    EXPECT_EQ(menu::L10N::lang(), "xx");
    EXPECT_EQ(menu::L10N::t("文件"), "File");
    EXPECT_EQ(menu::L10N::t("导入 PDF 手帐模板（BETA）…"), "导入 PDF 手帐模板（BETA）…");
}

TEST(L10N, WithoutAnInstalledStoreThePreferenceLivesInTheSettingsFile) {
    testsupport::TempDir dir;
    testsupport::isolateXdg(dir);
    fakes::MemorySettings mine, other;
    mine.values["tavrik.lang"] = "ko";
    menu::L10N::setStore(&mine);
    menu::L10N::unsetStore(&other);  // an owner of another store going away changes nothing
    EXPECT_EQ(menu::L10N::pref(), "ko");
    menu::L10N::unsetStore(&mine);
    EXPECT_EQ(menu::L10N::pref(), "auto");
    menu::L10N::setPref("de");
    EXPECT_EQ(menu::L10N::pref(), "de");
    std::ifstream file(dir.file("config/TAVRIK/settings.ini"));
    std::string text((std::istreambuf_iterator<char>(file)), {});
    EXPECT_NE(text.find("tavrik.lang=de"), std::string::npos) << text;
}

}  // namespace
