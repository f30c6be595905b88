// SPDX-License-Identifier: GPL-3.0-or-later
// The shell widgets' accessible names: one in every interface language, none a widget class name,
// English for a language the shell does not have.
#include "drop/shell_labels.h"

#include <gtest/gtest.h>

#include <set>

#include "menu/l10n.h"

namespace {

std::string shellLabel(drop::ShellLabel which, const std::string& lang) {
    return menu::L10N::t(drop::shellLabelKey(which), lang);
}

TEST(ShellLabels, EveryLanguageNamesEveryWidgetInItsOwnWords) {
    using drop::ShellLabel;
    for (auto which : {ShellLabel::Board, ShellLabel::DropArea, ShellLabel::MenuBar}) {
        std::set<std::string> seen;
        for (const char* lang : {"zh-Hans", "zh-Hant", "en", "ja", "es", "fr", "de", "it", "pt", "ko"}) {
            std::string label = shellLabel(which, lang);
            EXPECT_FALSE(label.empty()) << lang;
            EXPECT_EQ(label.find("Gtk"), std::string::npos) << lang;
            seen.insert(label);
        }
        EXPECT_GE(seen.size(), 9u) << "translated, not English everywhere";
        EXPECT_EQ(shellLabel(which, "sv"), shellLabel(which, "en"));
    }
    EXPECT_EQ(shellLabel(ShellLabel::MenuBar, "de"), "Menüleiste");
}

}  // namespace
