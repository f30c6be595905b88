// SPDX-License-Identifier: GPL-3.0-or-later
// "Save, then carry on" and the one order of page calls, on the real bridge, the real file
// exchange and a recording page that answers only when told.
#include "files/save_then.h"

#include <gtest/gtest.h>

#include "app/quit_confirmation.h"
#include "files/pdf_renderer.h"
#include "files_fixture.h"
#include "support/gtk_support.h"

namespace {

using files::SaveReason;
using filestest::Fixture;

struct SaveFixture : Fixture {
    std::vector<std::function<void()>> timers;
    std::shared_ptr<files::SaveThen> saves = std::make_shared<files::SaveThen>(
        bridge, [this](std::chrono::milliseconds, std::function<void()> task) { timers.push_back(std::move(task)); });
    std::vector<files::SaveOutcome> settled;
    std::vector<SaveReason> answers;

    SaveFixture() {
        // As the composition root wires them.
        exchange->setSaveStartObserver([this](const std::string& action) { saves->started(action); });
        exchange->setSaveObserver([this](const files::SaveOutcome& o) { saves->ended(o); });
        saves->setSettledObserver([this](const files::SaveOutcome& o) { settled.push_back(o); });
    }
    // Asks for a save and lets the page answer the request with `defined`.
    void askAndAnswer(std::optional<bool> defined) {
        saves->saveThen([this](SaveReason r) { answers.push_back(r); });
        flush();
        ASSERT_FALSE(page->scripts.empty());
        EXPECT_EQ(page->scripts.back(), files::kSaveAsTheMenuDoes);
        ASSERT_TRUE(page->answerNext(defined));
    }
};

TEST(SaveThen, AnswersEachOutcomeOnlyAfterThePageHasTakenItsReport) {
    struct Case {
        const char* what;
        std::optional<std::string> (*path)(const testsupport::TempDir&);
        SaveReason reason;
    };
    const Case cases[] = {
        {"written", [](const testsupport::TempDir& d) { return std::optional(d.file("b.json")); }, SaveReason::Written},
        {"cancelled", [](const testsupport::TempDir&) { return std::optional<std::string>(); }, SaveReason::Cancelled},
        {"failed", [](const testsupport::TempDir& d) { return std::optional(d.file("no/such/folder/b.json")); },
         SaveReason::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        SaveFixture f;
        f.askAndAnswer(true);
        // The page's saveJSON() sends its command; the chooser opens.
        f.exchange->saveText("{}", "board", "json");
        EXPECT_EQ(f.saves->inProgress(), 1u);
        f.panels->answerNext(c.path(dir));
        ASSERT_TRUE(f.settle([&] { return f.page->scripts.size() >= 3; }));  // written on a worker
        EXPECT_TRUE(f.answers.empty()) << "not before the page has taken the report";
        EXPECT_EQ(f.saves->inProgress(), 1u);
        ASSERT_GE(f.page->scripts.size(), 3u);
        EXPECT_EQ(f.page->scripts[f.page->scripts.size() - 2].rfind("window.__saveResult && ", 0), 0u);
        ASSERT_TRUE(f.page->answerNext(std::nullopt));  // the evaluation after the report completes
        EXPECT_EQ(f.answers, std::vector<SaveReason>{c.reason});
        ASSERT_EQ(f.settled.size(), 1u);
        EXPECT_EQ(f.settled[0].reason, c.reason);
        EXPECT_EQ(f.saves->inProgress(), 0u);
        for (auto& t : f.timers) t();  // a late time limit changes nothing
        EXPECT_EQ(f.answers.size(), 1u);
    }
}

TEST(SaveThen, APageThatCannotBeToldOrNeverSavesIsGivenUpAsCancelled) {
    {
        SCOPED_TRACE("no __saveResult (or no saveJSON)");
        SaveFixture f;
        f.askAndAnswer(false);
        EXPECT_EQ(f.answers, std::vector<SaveReason>{SaveReason::Cancelled});
        EXPECT_TRUE(f.timers.empty());
    }
    {
        SCOPED_TRACE("the page threw, or is gone");
        SaveFixture f;
        f.askAndAnswer(std::nullopt);
        EXPECT_EQ(f.answers, std::vector<SaveReason>{SaveReason::Cancelled});
    }
    {
        SCOPED_TRACE("no save command follows");
        SaveFixture f;
        f.askAndAnswer(true);
        EXPECT_TRUE(f.answers.empty());
        ASSERT_EQ(f.timers.size(), 1u);
        f.timers[0]();
        EXPECT_EQ(f.answers, std::vector<SaveReason>{SaveReason::Cancelled});
        // The next request starts afresh.
        f.askAndAnswer(false);
        EXPECT_EQ(f.answers.size(), 2u);
    }
    {
        SCOPED_TRACE("the page never answers, then the shell closes");
        SaveFixture f;
        f.saves->saveThen([&](SaveReason r) { f.answers.push_back(r); });
        f.bridge->close();
        f.flush();
        EXPECT_EQ(f.answers, std::vector<SaveReason>{SaveReason::Cancelled});
        EXPECT_TRUE(f.page->scripts.empty());
    }
    {
        SCOPED_TRACE("a second request while one runs");
        SaveFixture f;
        f.saves->saveThen([&](SaveReason r) { f.answers.push_back(r); });
        f.saves->saveThen([&](SaveReason r) { f.answers.push_back(r); });
        EXPECT_EQ(f.answers, std::vector<SaveReason>{SaveReason::Cancelled});
    }
}

// Calls from different Parts reach the page in the order they were issued, whichever form they
// take; an awaited call answers only once the page has evaluated it, after everything before it.
TEST(PageOrder, CallsFromEveryPartKeepTheirIssueOrder) {
    testsupport::TempDir dir;
    Fixture f;
    auto quit = std::make_shared<app::QuitConfirmation>(app::QuitConfirmation::Deps{
        f.queue, f.bridge, nullptr, [](const std::string& k) { return k; }, [] {}, {}, {}, {}});
    f.exchange->saveText("{}", "b", "json");
    f.panels->answerNext(std::nullopt);                                                  // files: __saveResult
    files::notifyPDFLocked(f.bridge, "r1");                                              // render
    quit->requestQuit();                                                                 // quit: the awaited query
    f.bridge->sendFileDrop(json::Object{{"n", 1}});                                      // drop
    f.bridge->pushScript("window.__menuAction && window.__menuAction(\"export:pdf\")");  // menu
    EXPECT_TRUE(f.page->scripts.empty());
    f.flush();
    ASSERT_EQ(f.page->scripts.size(), 5u);
    EXPECT_EQ(f.page->scripts[0].rfind("window.__saveResult && window.__saveResult(", 0), 0u);
    EXPECT_EQ(f.page->scripts[1], R"(window.__pdfLocked && window.__pdfLocked("r1"))");
    EXPECT_EQ(f.page->scripts[2], app::kQuitQuery);
    EXPECT_EQ(f.page->scripts[3], R"(window.__fileDrop && window.__fileDrop({"n":1}))");
    EXPECT_EQ(f.page->scripts[4], R"(window.__menuAction && window.__menuAction("export:pdf"))");
    EXPECT_EQ(quit->state(), app::QuitConfirmation::State::Querying);
    f.page->answerNext(false);
    EXPECT_EQ(quit->state(), app::QuitConfirmation::State::Ended);
}

}  // namespace
