// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/quit_confirmation.h"

#include <gtest/gtest.h>

#include "fakes/fakes.h"
#include "fakes/held_alert.h"
#include "menu/l10n.h"

namespace {

using app::QuitConfirmation;
using State = QuitConfirmation::State;

// A page that answers only when the test says so, like a real one answering on a later turn.
class HeldPage final : public fakes::NullSink {
public:
    bool isAlive = true;
    std::vector<std::string> scripts;
    std::vector<std::function<void(std::optional<bool>)>> pending;
    bool alive() const override { return isAlive; }
    void pushScript(std::string s) override { scripts.push_back(s); }
    void callThen(std::string s, Done done) override {
        scripts.push_back(s);
        pending.push_back(std::move(done));
    }
    void answer(std::optional<bool> value) {
        ASSERT_FALSE(pending.empty());
        auto done = std::move(pending.front());
        pending.erase(pending.begin());
        done(value);
    }
};

using fakes::HeldAlert;

constexpr const char* kNotResponding = "The board is not responding";

// The alert's texts as the interface's English table has them.
std::string english(const std::string& key) { return menu::L10N::t(key, "en"); }

struct Limit {
    std::chrono::milliseconds delay;
    std::function<void()> task;
};

class QuitTest : public ::testing::Test {
protected:
    std::shared_ptr<QuitConfirmation> make(std::shared_ptr<bridge::PageSink> channel) {
        return std::make_shared<QuitConfirmation>(
            QuitConfirmation::Deps{queue, std::move(channel), alert, english, [this] { ++terminated; },
                                   [this](std::chrono::milliseconds d, std::function<void()> t) {
                                       limits.push_back({d, std::move(t)});
                                   },
                                   [this] { return pageDialogOpen; }, [this] { return saves; }});
    }
    // Runs the wait for the page that was armed last, as its timer would.
    void runLastLimit() {
        ASSERT_FALSE(limits.empty());
        auto task = limits.back().task;
        task();
    }
    // Quit request up to the alert, with the page reporting unsaved content.
    std::shared_ptr<QuitConfirmation> asking() {
        auto quit = make(page);
        quit->requestQuit();
        page->answer(true);
        queue.runAll();
        EXPECT_EQ(quit->state(), State::Asking);
        return quit;
    }

    fakes::ManualQueue queue;
    std::shared_ptr<HeldPage> page = std::make_shared<HeldPage>();
    std::shared_ptr<HeldAlert> alert = std::make_shared<HeldAlert>();
    std::vector<Limit> limits;
    int terminated = 0;
    bool pageDialogOpen = false;
    std::size_t saves = 0;  // save choosers open or files being written
};

TEST_F(QuitTest, OnlyTrueFromTheQueryAsksEverythingElseQuitsAtOnce) {
    // The real channel reports a string, an exception or undefined as "no boolean".
    for (std::optional<bool> answer : {std::optional<bool>(true), std::optional<bool>(false), std::optional<bool>()}) {
        SCOPED_TRACE(answer ? (*answer ? "true" : "false") : "no boolean");
        page = std::make_shared<HeldPage>();
        alert = std::make_shared<HeldAlert>();
        terminated = 0;
        auto quit = make(page);
        quit->requestQuit();
        EXPECT_EQ(page->scripts, std::vector<std::string>{app::kQuitQuery});
        EXPECT_EQ(terminated, 0);  // pending until the page answers
        page->answer(answer);
        bool unsaved = answer == std::optional<bool>(true);
        EXPECT_EQ(terminated, unsaved ? 0 : 1);
        EXPECT_TRUE(alert->shown.empty());  // the alert never opens inside the answer's handling
        queue.runAll();
        EXPECT_EQ(alert->shown.size(), unsaved ? 1u : 0u);
    }
}

TEST_F(QuitTest, WithoutALivePageQuitsWithoutAsking) {
    auto noBridge = make(nullptr);
    noBridge->requestQuit();
    EXPECT_EQ(terminated, 1);

    page->isAlive = false;
    auto gone = make(page);
    gone->requestQuit();
    EXPECT_EQ(terminated, 2);
    EXPECT_TRUE(page->scripts.empty());
    EXPECT_TRUE(alert->shown.empty());
}

TEST_F(QuitTest, AlertShowsTheLocalisedChoiceSaveFirst) {
    asking();
    ASSERT_EQ(alert->shown.size(), 1u);
    const auto& content = alert->shown[0];
    EXPECT_EQ(content.message, "Save canvas?");
    EXPECT_EQ(content.detail, "The canvas has unsaved content. Save before quitting?");
    EXPECT_EQ(content.buttons, (std::vector<std::string>{"Save", "Don't Save", "Cancel"}));
    EXPECT_FALSE(content.field);
}

TEST_F(QuitTest, SaveAndDontSaveCallTheirPageFunctionOnceThenQuit) {
    struct Case {
        std::size_t button;
        const char* script;
        State during;
    };
    for (const Case& c : {Case{0, app::kQuitFlush, State::Saving}, Case{1, app::kQuitDiscard, State::Discarding}}) {
        SCOPED_TRACE(c.script);
        page = std::make_shared<HeldPage>();
        terminated = 0;
        auto quit = asking();
        alert->choose(c.button);
        EXPECT_EQ(quit->state(), c.during);
        EXPECT_EQ(page->scripts, (std::vector<std::string>{app::kQuitQuery, c.script}));
        EXPECT_EQ(terminated, 0);    // not before the page function has run
        page->answer(std::nullopt);  // whatever it returned or threw
        EXPECT_EQ(terminated, 1);
        EXPECT_EQ(quit->state(), State::Ended);
        quit->requestQuit();
        EXPECT_EQ(terminated, 1);
    }
}

TEST_F(QuitTest, CancelKeepsRunningAndTheNextQuitAsksThePageAgain) {
    for (std::size_t closedBy : {std::size_t{2}, std::size_t{7}}) {  // the button, or any other way
        page = std::make_shared<HeldPage>();
        auto quit = asking();
        alert->choose(closedBy);
        EXPECT_EQ(quit->state(), State::Idle);
        EXPECT_EQ(page->scripts.size(), 1u);  // neither page function
        EXPECT_EQ(terminated, 0);
        for (auto& l : limits) l.task();  // an old limit no longer applies
        EXPECT_EQ(terminated, 0);

        quit->requestQuit();
        EXPECT_EQ(page->scripts, (std::vector<std::string>{app::kQuitQuery, app::kQuitQuery}));
        page->answer(false);
        EXPECT_EQ(terminated, 1);
        terminated = 0;
        limits.clear();
    }
}

TEST_F(QuitTest, RequestsWhileDecidingAreIgnored) {
    auto quit = asking();
    quit->requestQuit();
    queue.runAll();
    EXPECT_EQ(alert->shown.size(), 1u);
    EXPECT_EQ(page->scripts.size(), 1u);
}

TEST_F(QuitTest, ASlowPageIsNeverGivenUpOnSilentlyTheUserDecides) {
    auto quit = make(page);
    quit->requestQuit();
    ASSERT_EQ(limits.size(), 1u);
    EXPECT_GE(limits[0].delay, std::chrono::seconds(2));
    EXPECT_LE(limits[0].delay, std::chrono::seconds(4));
    runLastLimit();
    EXPECT_EQ(terminated, 0);
    ASSERT_EQ(alert->shown.size(), 1u);
    const auto& content = alert->shown[0];
    EXPECT_EQ(content.message, kNotResponding);
    EXPECT_EQ(content.buttons, (std::vector<std::string>{"Wait", "Quit anyway"}));
    EXPECT_EQ(content.closeAnswer, std::optional<std::size_t>(0));  // Escape waits
    EXPECT_TRUE(quit->notRespondingShown());

    // Wait: asked again only once another wait has run out.
    alert->choose(0);
    EXPECT_EQ(alert->shown.size(), 1u);
    ASSERT_EQ(limits.size(), 2u);
    limits[0].task();  // the first wait is over and done
    EXPECT_EQ(alert->shown.size(), 1u);
    runLastLimit();
    ASSERT_EQ(alert->shown.size(), 2u);

    // The page answers while the alert is up: it closes and the save alert follows.
    page->answer(true);
    EXPECT_EQ(alert->dismissed, 1);
    EXPECT_FALSE(quit->notRespondingShown());
    alert->answer(1);  // a late answer of the closed alert is not a choice
    EXPECT_EQ(terminated, 0);
    queue.runAll();
    EXPECT_EQ(alert->title(), "Save canvas?");
    EXPECT_EQ(quit->state(), State::Asking);
    runLastLimit();  // no wait is running while the user chooses
    EXPECT_EQ(alert->title(), "Save canvas?");
}

TEST_F(QuitTest, QuitAnywayEndsAWaitInEveryPhase) {
    struct Case {
        const char* what;
        std::optional<std::size_t> choice;  // the save alert's button, or none: hung in the query
    };
    for (const Case& c : {Case{"query", std::nullopt}, Case{"save", 0}, Case{"discard", 1}}) {
        SCOPED_TRACE(c.what);
        page = std::make_shared<HeldPage>();
        alert = std::make_shared<HeldAlert>();
        terminated = 0;
        auto quit = c.choice ? asking() : make(page);
        if (c.choice)
            alert->choose(*c.choice);
        else
            quit->requestQuit();
        runLastLimit();
        ASSERT_EQ(alert->title(), kNotResponding);
        alert->choose(1);
        EXPECT_EQ(terminated, 1);
        page->answer(true);  // the page finally answering changes nothing
        queue.runAll();
        EXPECT_EQ(terminated, 1);
        EXPECT_EQ(alert->title(), kNotResponding);
    }
}

TEST_F(QuitTest, TheEnginesVerdictAsksAtOnceAndASecondSignalEndsUnderAnAlert) {
    auto quit = make(page);
    quit->pageUnresponsive();  // not quitting: nothing to ask
    EXPECT_TRUE(alert->shown.empty());
    quit->requestQuit();
    quit->pageUnresponsive();
    EXPECT_EQ(alert->title(), kNotResponding);
    quit->pageUnresponsive();
    EXPECT_EQ(alert->shown.size(), 1u);
    quit->insist();
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(alert->dismissed, 1);

    // Under the save alert a second signal ends too; without any alert it is an ordinary request.
    terminated = 0;
    page = std::make_shared<HeldPage>();
    alert = std::make_shared<HeldAlert>();
    auto idle = make(page);
    idle->insist();
    EXPECT_EQ(idle->state(), State::Querying);
    page->answer(true);
    queue.runAll();
    idle->insist();
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(alert->dismissed, 1);
}

TEST_F(QuitTest, SaveAtQuitWaitsForItsChooserAndACancelledSaveKeepsRunning) {
    auto quit = asking();
    alert->choose(0);
    saves = 1;  // the page's save opened a chooser before its flush returned
    page->answer(std::nullopt);
    EXPECT_EQ(quit->state(), State::AwaitingSave);
    EXPECT_EQ(terminated, 0);
    for (auto& l : limits) l.task();  // the user takes their time in the chooser
    EXPECT_EQ(alert->shown.size(), 1u);
    saves = 0;
    quit->saveSettled(false);
    EXPECT_EQ(quit->state(), State::Idle);
    EXPECT_EQ(terminated, 0);

    // Asked again; this time the file is written. The save is settled once the page has heard of
    // it (files::SaveThen waits for that); then the quit ends.
    quit->requestQuit();
    page->answer(true);
    queue.runAll();
    alert->choose(0);
    saves = 1;
    page->answer(std::nullopt);
    EXPECT_EQ(terminated, 0);
    saves = 0;
    quit->saveSettled(true);
    EXPECT_EQ(terminated, 1);

    // A save that was not asked for at quit changes nothing.
    quit->saveSettled(false);
    EXPECT_EQ(quit->state(), State::Ended);
}

TEST_F(QuitTest, ASaveThatEndsBeforeTheSaveCallReturnsDecidesToo) {
    for (bool written : {false, true}) {
        SCOPED_TRACE(written ? "written" : "cancelled");
        page = std::make_shared<HeldPage>();
        terminated = 0;
        auto quit = asking();
        alert->choose(0);
        quit->saveSettled(written);  // the chooser was answered before the evaluation reported back
        page->answer(std::nullopt);
        if (!written) {
            EXPECT_EQ(quit->state(), State::Idle);
            EXPECT_EQ(terminated, 0);
            continue;
        }
        EXPECT_EQ(terminated, 1);
    }
}

TEST_F(QuitTest, APageWaitingInItsOwnDialogIsNotHung) {
    // A request while the page's alert is up waits for the user to answer it.
    pageDialogOpen = true;
    auto quit = make(page);
    quit->requestQuit();
    EXPECT_EQ(quit->state(), State::Idle);
    EXPECT_TRUE(page->scripts.empty());

    // The page opens a dialog while the query waits: the limit keeps waiting until it is answered.
    pageDialogOpen = false;
    quit->requestQuit();
    pageDialogOpen = true;
    ASSERT_EQ(limits.size(), 1u);
    limits[0].task();
    EXPECT_EQ(terminated, 0);
    EXPECT_TRUE(alert->shown.empty());
    ASSERT_EQ(limits.size(), 2u);
    pageDialogOpen = false;
    page->answer(true);
    queue.runAll();
    EXPECT_EQ(alert->shown.size(), 1u);
    EXPECT_EQ(terminated, 0);
}

TEST_F(QuitTest, ACrashedPageNoLongerHoldsUpQuitting) {
    auto querying = make(page);
    querying->requestQuit();
    runLastLimit();
    querying->pageTerminated();
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(alert->dismissed, 1);  // the "not responding" alert goes with it

    // Crash while the alert is up: the choice quits without calling the dead page.
    terminated = 0;
    page = std::make_shared<HeldPage>();
    auto quit = asking();
    quit->pageTerminated();
    EXPECT_EQ(terminated, 0);
    alert->choose(0);
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(page->scripts.size(), 1u);

    // After a crash a request quits at once, until a page is loaded again.
    terminated = 0;
    page = std::make_shared<HeldPage>();
    auto idle = make(page);
    idle->pageTerminated();
    idle->pageRestarted();
    idle->requestQuit();
    EXPECT_EQ(page->scripts.size(), 1u);
    idle->pageTerminated();
    EXPECT_EQ(terminated, 1);
}

TEST_F(QuitTest, LateAnswersToAGoneConfirmationAreDropped) {
    auto quit = asking();
    auto answer = alert->answer;
    quit.reset();
    answer(0);
    EXPECT_EQ(page->scripts.size(), 1u);
    EXPECT_EQ(terminated, 0);
}

}  // namespace
