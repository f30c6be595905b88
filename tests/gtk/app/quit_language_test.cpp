// SPDX-License-Identifier: GPL-3.0-or-later
// The save alert at quit speaks the interface language the user chose, through the application's
// own wiring: the language menu, the quit confirmation as the application installs it, and its
// GTK alert.
#include <gtest/gtest.h>

#include <algorithm>

#include "gtk/webpolicy/alert_probe.h"
#include "support/gtk_support.h"

namespace {

const char* kPage = R"(<!doctype html><meta charset="utf-8"><title>canvas</title>
<script>window.__quitHasContentU = () => true;</script>)";

TEST(QuitAlertLanguage, TheSaveAlertFollowsTheChosenLanguage) {
    testsupport::Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    GtkApplication* app = shell.app().application();
    // Français, from the language menu (the languages follow "follow the system" at 500).
    g_action_group_activate_action(G_ACTION_GROUP(app), "tag-506", nullptr);
    ASSERT_TRUE(testsupport::runUntil([&] {
        auto titles = testsupport::menuBarTitles(app);
        return std::find(titles.begin(), titles.end(), "Fichier") != titles.end();
    }));

    shell.app().requestQuit();
    GtkDialog* alert = alertprobe::waitFor();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alertprobe::text(alert), "Enregistrer le canevas ?");
    EXPECT_EQ(alertprobe::text(alert, "secondary-text"),
              "Le canevas contient du contenu non enregistré. L'enregistrer avant de quitter ?");
    EXPECT_EQ(alertprobe::buttonLabels(alert),
              (std::vector<std::string>{"Enregistrer", "Ne pas enregistrer", "Annuler"}));
    alertprobe::press(alert, 2);
    EXPECT_TRUE(alertprobe::waitGone());
}

}  // namespace
