#include "app/quit_confirmation.h"

#include <gtest/gtest.h>

#include "fakes/fakes.h"
#include "menu/l10n.h"

namespace {

using app::QuitConfirmation;
using State = QuitConfirmation::State;

// A page that answers only when the test says so, like a real one answering on a later turn.
class HeldPage final : public bridge::PageChannel {
public:
    bool isAlive = true;
    std::vector<std::string> scripts;
    std::vector<std::function<void(std::optional<bool>)>> pending;
    bool alive() const override { return isAlive; }
    void evaluate(const std::string& s) override { scripts.push_back(s); }
    void evaluateThen(const std::string& s, std::function<void(std::optional<bool>)> done) override {
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

class HeldAlert final : public app::QuitAlert {
public:
    std::vector<webpolicy::AlertContent> shown;
    std::function<void(std::size_t)> answer;
    void show(const webpolicy::AlertContent& content, std::function<void(std::size_t)> a) override {
        shown.push_back(content);
        answer = std::move(a);
    }
};

// The alert's texts as the interface's English table has them.
std::string english(const std::string& key) { return menu::L10N::t(key, "en"); }

struct Limit {
    std::chrono::milliseconds delay;
    std::function<void()> task;
};

class QuitTest : public ::testing::Test {
protected:
    std::shared_ptr<QuitConfirmation> make(std::shared_ptr<bridge::PageChannel> channel) {
        return std::make_shared<QuitConfirmation>(
            QuitConfirmation::Deps{queue, std::move(channel), alert, english, [this] { ++terminated; },
                                   [this](std::chrono::milliseconds d, std::function<void()> t) {
                                       limits.push_back({d, std::move(t)});
                                   },
                                   [this] { return pageDialogOpen; }});
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
        alert->answer(c.button);
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
        alert->answer(closedBy);
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

TEST_F(QuitTest, AHungPageCannotBlockQuitting) {
    // The query never answers.
    auto quit = make(page);
    quit->requestQuit();
    ASSERT_EQ(limits.size(), 1u);
    EXPECT_LE(limits[0].delay, std::chrono::seconds(5));
    limits[0].task();
    EXPECT_EQ(terminated, 1);
    page->answer(true);  // a late answer changes nothing
    queue.runAll();
    EXPECT_TRUE(alert->shown.empty());
    EXPECT_EQ(terminated, 1);

    // The save call never returns.
    terminated = 0;
    limits.clear();
    page = std::make_shared<HeldPage>();
    auto saving = asking();
    limits[0].task();  // the query's limit must not cut the user's choice short
    EXPECT_EQ(saving->state(), State::Asking);
    alert->answer(0);
    ASSERT_EQ(limits.size(), 2u);
    EXPECT_EQ(terminated, 0);
    limits[1].task();
    EXPECT_EQ(terminated, 1);
    page->answer(true);
    EXPECT_EQ(terminated, 1);
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
    querying->pageTerminated();
    EXPECT_EQ(terminated, 1);

    // Crash while the alert is up: the choice quits without calling the dead page.
    terminated = 0;
    page = std::make_shared<HeldPage>();
    auto quit = asking();
    quit->pageTerminated();
    EXPECT_EQ(terminated, 0);
    alert->answer(0);
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
