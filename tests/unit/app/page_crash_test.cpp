// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/page_crash.h"

#include <gtest/gtest.h>

#include "fakes/held_alert.h"
#include "menu/l10n.h"

namespace {

using app::PageCrash;
using app::PageEnd;
using namespace std::chrono_literals;

using fakes::HeldAlert;

class PageCrashTest : public ::testing::Test {
protected:
    std::shared_ptr<HeldAlert> alert = std::make_shared<HeldAlert>();
    int reloads = 0;
    int quits = 0;
    bool quitting = false;
    std::chrono::steady_clock::time_point clock{};
    std::shared_ptr<PageCrash> crash = std::make_shared<PageCrash>(
        PageCrash::Deps{alert, [](const std::string& key) { return menu::L10N::t(key, "de"); }, [this] { ++reloads; },
                        [this] { ++quits; }, [this] { return quitting; }, [this] { return clock; }});
};

TEST_F(PageCrashTest, AFirstCrashReloadsAndAsksInTheInterfaceLanguage) {
    crash->terminated(PageEnd::Crashed);
    EXPECT_EQ(reloads, 1);
    ASSERT_EQ(alert->shown.size(), 1u);
    const auto& c = alert->shown[0];
    EXPECT_EQ(c.message, "Das Board wurde unerwartet beendet");
    EXPECT_EQ(c.buttons, (std::vector<std::string>{"Neu laden", "Beenden"}));
    EXPECT_EQ(c.closeAnswer, 0u);

    // "Reload" on a page that was already reloaded does not load it twice.
    alert->choose(0);
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(quits, 0);
}

TEST_F(PageCrashTest, ASecondCrashWithinAMinuteWaitsForTheUser) {
    crash->terminated(PageEnd::Crashed);
    alert->choose(0);
    crash->pageLoaded();
    clock += 30s;
    crash->terminated(PageEnd::Crashed);
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(alert->shown.size(), 2u);
    alert->choose(0);
    EXPECT_EQ(reloads, 2);

    // A crash while the alert is still up adds no second alert; a minute later it reloads again.
    crash->pageLoaded();
    clock += 61s;
    crash->terminated(PageEnd::Crashed);
    clock += 1s;
    crash->terminated(PageEnd::Crashed);
    EXPECT_EQ(alert->shown.size(), 3u);
    EXPECT_EQ(reloads, 3);
    alert->choose(1);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(reloads, 3);
}

TEST_F(PageCrashTest, NothingIsShownDuringAQuitOrForAnEndTheShellChose) {
    quitting = true;
    crash->terminated(PageEnd::Crashed);
    quitting = false;
    crash->terminated(PageEnd::ByTheShell);
    EXPECT_TRUE(alert->shown.empty());
    EXPECT_EQ(reloads, 0);
}

TEST_F(PageCrashTest, AnAnswerAfterTheWatchIsGoneIsDropped) {
    crash->terminated(PageEnd::Crashed);
    auto answer = alert->answer;
    crash.reset();
    answer(1);
    EXPECT_EQ(quits, 0);
}

}  // namespace
