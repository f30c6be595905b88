// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <set>

#include "menu/l10n.h"

namespace {

TEST(ShellTexts, EveryLanguageHasEveryKeyAndNoneShadowsTheMenuSheet) {
    const auto& shell = menu::L10N::shellTable();
    const auto& menuSheet = menu::L10N::table();
    ASSERT_EQ(shell.size(), 9u);
    std::set<std::string> keys;
    for (const auto& [key, text] : shell.at("en")) keys.insert(key);
    EXPECT_TRUE(keys.count("画板没有响应"));
    for (const auto& [lang, texts] : shell) {
        SCOPED_TRACE(lang);
        std::set<std::string> own;
        for (const auto& [key, text] : texts) {
            own.insert(key);
            EXPECT_FALSE(text.empty()) << key;
            // A text left in English is a missed translation; zh-Hant is compared with its key.
            if (lang != "en") {
                EXPECT_NE(text, shell.at("en").at(key)) << key;
            }
            EXPECT_FALSE(menuSheet.at(lang).count(key)) << key << " is also in the menu sheet";
            EXPECT_EQ(menu::L10N::t(key, lang), text);
        }
        EXPECT_EQ(own, keys);
    }
    for (const auto& key : keys) EXPECT_EQ(menu::L10N::t(key, "zh-Hans"), key);
    EXPECT_EQ(menu::L10N::t("仍然退出", "xx"), "Quit anyway");  // an unknown language reads English
}

}  // namespace
