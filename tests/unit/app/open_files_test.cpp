// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/open_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/options.h"
#include "app/resources.h"
#include "bridge/bridge.h"
#include "bridge/page_calls.h"
#include "fakes/fakes.h"
#include "fakes/held_alert.h"
#include "files/opened_file.h"
#include "files/save_then.h"
#include "support/gtk_support.h"

namespace {

namespace fs = std::filesystem;
using files::OpenedFile;
using Kind = OpenedFile::Kind;

TEST(OpenOptions, PositionalArgumentsAreFilesAndDoubleDashEndsOptions) {
    auto o = app::parseOptions({"board.json", "--inspector", "b c.pdf", "--", "--resources", "-x"});
    EXPECT_EQ(o.mode, app::Options::Mode::Run);
    EXPECT_TRUE(o.inspector);
    EXPECT_FALSE(o.resources);
    EXPECT_EQ(o.files, (std::vector<std::string>{"board.json", "b c.pdf", "--resources", "-x"}));
    EXPECT_EQ(app::parseOptions({"--nope", "a.json"}).mode, app::Options::Mode::Error);
}

TEST(OpenOptions, ResourcesFolderIsMadeAbsolute) {
    struct Case {
        const char* given;
        const char* want;
    } cases[] = {
        {"./myboard", "/work/here/myboard"}, {"myboard/", "/work/here/myboard"},
        {"../x/./y", "/work/x/y"},           {"~", "/home/u"},
        {"~/boards", "/home/u/boards"},      {"/abs/dir", "/abs/dir"},
        {"~other", "/work/here/~other"},  // another user's home is not guessed
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::absoluteResourcesDir(c.given, "/home/u", "/work/here"), c.want) << c.given;
}

TEST(OpenedFiles, EachKindOfPathIsToldApart) {
    testsupport::TempDir dir;
    dir.write("board.json", "\xEF\xBB\xBF  {\"items\": []}");
    dir.write("paper.PDF", "%PDF-1.4 tiny");
    dir.write("fake.pdf", "not a pdf");
    dir.write("list.json", "[1, 2]");
    dir.write("latin1.json", "{\"t\": \"caf\xe9\"}");
    dir.write("nul.json", std::string("{\"t\": \"a\0b\"}", 12));  // a raw NUL; the escape \u0000 is fine
    dir.write("sub/x", "");
    dir.write("locked.json", "{}");
    chmod(dir.file("locked.json").c_str(), 0);
    struct Case {
        std::string name;
        Kind kind;
    } cases[] = {
        {"board.json", Kind::Board},   {"paper.PDF", Kind::Pdf},        {"fake.pdf", Kind::NotBoard},
        {"list.json", Kind::NotBoard}, {"latin1.json", Kind::NotBoard}, {"sub", Kind::Directory},
        {"gone.json", Kind::Missing},  {"nul.json", Kind::NotBoard},
    };
    for (const auto& c : cases)
        EXPECT_EQ(files::readForPage(dir.file(c.name), files::Want::Either).kind, c.kind) << c.name;
    if (geteuid() != 0) {  // root reads it anyway
        EXPECT_EQ(files::readForPage(dir.file("locked.json"), files::Want::Either).kind, Kind::Unreadable);
    }

    OpenedFile pdf = files::readForPage(dir.file("paper.PDF"), files::Want::Either);
    EXPECT_EQ(pdf.name, "paper.PDF");
    EXPECT_EQ(pdf.content.rfind("data:application/pdf;base64,", 0), 0u);

    // A PDF over the template limit is refused without being read whole.
    {
        std::ofstream big(dir.file("big.pdf"), std::ios::binary);
        big << "%PDF-";
        big.seekp(static_cast<std::streamoff>(files::kPaperLimit));
        big << 'x';
    }
    EXPECT_EQ(files::readForPage(dir.file("big.pdf"), files::Want::Either).kind, Kind::TooLarge);
}

// The page, as the opener reaches it: calls are recorded as "name|json".
class RecordingSink final : public fakes::NullSink {
public:
    std::vector<std::string> calls;
    void callGuarded(std::string name, json::Value arg) override {
        calls.push_back(bridge::pagecall::text(name, bridge::pagecall::Form::Guarded, arg).value_or("?"));
    }
    void pushFunction(std::string name, json::Value payload) override { record(name, json::Array{payload}); }
    void pushPositional(std::string name, json::Array args) override { record(name, args); }
    void callGuardedPositional(std::string name, json::Array args) override { record(name, args); }
    void pushWrapped(std::string name, json::Value object) override { record(name, json::Array{object}); }
    void pushScript(std::string script) override { calls.push_back(script); }
    // Awaited calls wait for the test's answer.
    std::vector<std::pair<std::string, Done>> awaited;
    void callThen(std::string script, Done done) override { awaited.emplace_back(std::move(script), std::move(done)); }
    // A board's pieces (one for these small boards) are taken at once.
    void carryThen(std::string, std::string text, Done done) override {
        record("__restoreNative", json::Array{std::move(text)});
        done(true);
    }

private:
    void record(const std::string& name, const json::Array& args) {
        std::string text = name;
        for (const auto& a : args) {
            auto s = a.string();
            text += "|" + (s ? s->substr(0, 40) : json::write(a).value_or("?").substr(0, 60));
        }
        calls.push_back(text);
    }
};

class HeldQuery final : public fakes::NullSink {
public:
    std::vector<std::function<void(std::optional<bool>)>> pending;
    void callThen(std::string, Done done) override { pending.push_back(std::move(done)); }
    void answer(std::optional<bool> v) {
        auto done = std::move(pending.front());
        pending.erase(pending.begin());
        done(v);
    }
};

using fakes::HeldAlert;

class OpenFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("a.json", R"({"items": [{"type": "note"}]})");
        dir.write("b.json", R"({"items": []})");
        opener = std::make_shared<app::OpenFiles>(app::OpenFiles::Deps{
            sink, query, alert, [](const std::string& key) { return "t:" + key; },
            [this](std::function<void(bool)> done) { saves.push_back(std::move(done)); }, document, nullptr});
    }
    std::string a() { return dir.file("a.json"); }
    // Boards handed to the page so far.
    std::size_t opened() const {
        return std::count_if(sink->calls.begin(), sink->calls.end(),
                             [](const std::string& c) { return c.rfind("__restoreNative|", 0) == 0; });
    }

    testsupport::TempDir dir;
    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
    std::shared_ptr<HeldQuery> query = std::make_shared<HeldQuery>();
    std::shared_ptr<HeldAlert> alert = std::make_shared<HeldAlert>();
    std::vector<std::function<void(bool)>> saves;
    std::shared_ptr<app::OpenFiles> opener;
    std::shared_ptr<files::DocumentFile> document = std::make_shared<files::DocumentFile>();
};

TEST_F(OpenFilesTest, WaitsForThePageThenOpensWithoutAskingWhenNothingIsUnsaved) {
    opener->open({a(), dir.file("gone.json"), dir.file("b.json")});
    EXPECT_TRUE(query->pending.empty()) << "nothing is asked before the page has loaded";
    EXPECT_FALSE(document->path());
    opener->setPageReady(true);
    ASSERT_EQ(query->pending.size(), 1u);
    query->answer(false);
    EXPECT_TRUE(alert->shown.empty());
    ASSERT_EQ(sink->calls.size(), 5u);
    EXPECT_EQ(sink->calls[0].rfind("__restoreNative|{\"items\"", 0), 0u) << sink->calls[0];
    EXPECT_EQ(sink->calls[1], "window.__boardOpened && window.__boardOpened(\"a.json\")");
    EXPECT_EQ(sink->calls[2], "__openFailed|gone.json|missing");
    EXPECT_EQ(sink->calls[3].rfind("__restoreNative|", 0), 0u);
    EXPECT_EQ(sink->calls[4], "window.__boardOpened && window.__boardOpened(\"b.json\")");
    // The last board opened is the board's file; the missing one in between changed nothing.
    EXPECT_EQ(document->path(), dir.file("b.json"));
}

TEST_F(OpenFilesTest, UnsavedWorkAsksFirstAndEachAnswerDoesWhatItSays) {
    opener->setPageReady(true);
    auto ask = [&] {
        opener->open({a()});
        query->answer(true);
        ASSERT_FALSE(alert->shown.empty());
        EXPECT_EQ(alert->shown.back().buttons, (std::vector<std::string>{"t:保存", "t:不保存", "t:取消"}));
        EXPECT_EQ(alert->shown.back().message, "t:打开前保存画布？");
    };
    ask();
    alert->answer(2);  // cancel
    EXPECT_EQ(opened(), 0u);

    ask();
    alert->answer(1);  // don't save
    EXPECT_EQ(opened(), 1u);

    ask();
    alert->answer(0);  // save: opens only once the save reports the board written
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(opened(), 1u);
    saves[0](true);
    EXPECT_EQ(opened(), 2u);

    ask();
    alert->answer(0);
    saves[1](false);  // the save chooser was cancelled, or the write failed
    EXPECT_EQ(opened(), 2u);
    EXPECT_TRUE(query->pending.empty());
}

// File ▸ New asks over unsaved work as an open does (in words of its own), waits for a Save to be
// written, and the board forgets its file only when the page says it started an empty board.
TEST_F(OpenFilesTest, NewBoardAsksLikeAnOpenAndForgetsTheFileOnlyForAPageThatStartedOne) {
    opener->setPageReady(true);
    document->set(a());
    auto newBoard = [&](bool unsaved) {
        opener->newBoard();
        query->answer(unsaved);
    };

    newBoard(true);
    ASSERT_EQ(alert->shown.size(), 1u);
    EXPECT_EQ(alert->shown[0].message, "t:新建前保存画布？");
    EXPECT_EQ(alert->shown[0].buttons, (std::vector<std::string>{"t:保存", "t:不保存", "t:取消"}));
    alert->answer(2);  // cancel
    EXPECT_TRUE(sink->awaited.empty());

    newBoard(true);
    alert->answer(0);  // save, which the user then cancels
    saves.at(0)(false);
    EXPECT_TRUE(sink->awaited.empty());

    newBoard(true);
    alert->answer(0);  // save, written: then the new board
    EXPECT_TRUE(sink->awaited.empty()) << "nothing before the save is written";
    saves.at(1)(true);
    ASSERT_EQ(sink->awaited.size(), 1u);
    EXPECT_EQ(sink->awaited[0].first, app::OpenFiles::kNewBoardCall);
    sink->awaited[0].second(std::nullopt);  // a page with no new board: the board keeps its file
    EXPECT_EQ(document->path(), a());

    newBoard(false);  // nothing unsaved: no question
    EXPECT_EQ(alert->shown.size(), 3u);
    ASSERT_EQ(sink->awaited.size(), 2u);
    sink->awaited[1].second(true);
    EXPECT_FALSE(document->path());
    EXPECT_EQ(opened(), 0u);
}

TEST_F(OpenFilesTest, PathsGivenWhileAskingOpenAfterwardsInOrder) {
    opener->setPageReady(true);
    opener->open({a()});
    opener->open({dir.file("b.json")});
    ASSERT_EQ(query->pending.size(), 1u) << "one question at a time";
    query->answer(true);
    alert->answer(1);
    ASSERT_EQ(query->pending.size(), 1u);
    query->answer(std::nullopt);  // a page that cannot answer has nothing to lose
    EXPECT_EQ(opened(), 2u);
}

TEST_F(OpenFilesTest, AnswersReachingAGoneOpenerAreDropped) {
    opener->setPageReady(true);
    opener->open({a()});
    query->answer(true);
    opener.reset();
    alert->answer(1);
    EXPECT_TRUE(sink->calls.empty());
}

// Opening from outside over unsaved work, "Save", on a page that cannot save as asked: the open is
// given up as if cancelled, and the files given next still open.
// Files are read away from the main thread; each waits for the one before, and a read that ends
// after its opener is gone is dropped.
TEST_F(OpenFilesTest, ReadsAsideInTheOrderGiven) {
    std::vector<std::pair<std::function<files::OpenedFile()>, std::function<void(files::OpenedFile)>>> reads;
    auto aside = std::make_shared<app::OpenFiles>(
        app::OpenFiles::Deps{sink, nullptr, nullptr, [](const std::string& key) { return key; }, nullptr, document,
                             [&](std::function<files::OpenedFile()> read, std::function<void(files::OpenedFile)> done) {
                                 reads.emplace_back(std::move(read), std::move(done));
                             }});
    aside->setPageReady(true);
    aside->open({a(), dir.file("gone.json")});
    aside->open({dir.file("b.json")});
    ASSERT_EQ(reads.size(), 1u) << "one read at a time";
    EXPECT_TRUE(sink->calls.empty());
    for (std::size_t i = 0; i < reads.size(); ++i) reads[i].second(reads[i].first());
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(sink->calls,
              (std::vector<std::string>{"__restoreNative|{\"items\": [{\"type\": \"note\"}]}",
                                        "window.__boardOpened && window.__boardOpened(\"a.json\")",
                                        "__openFailed|gone.json|missing", "__restoreNative|{\"items\": []}",
                                        "window.__boardOpened && window.__boardOpened(\"b.json\")"}));

    aside->open({a()});
    ASSERT_EQ(reads.size(), 4u);
    aside.reset();
    reads[3].second(reads[3].first());
    EXPECT_EQ(sink->calls.size(), 5u) << "nothing reaches the page from an opener that is gone";
}

TEST(OpenFromOutside, ASaveThatCannotHappenGivesTheOpenUpAndLaterOpensGoOn) {
    for (std::optional<bool> pageSaves : {std::optional<bool>(false), std::optional<bool>(true)}) {
        SCOPED_TRACE(*pageSaves ? "no save command follows" : "no __saveResult");
        testsupport::TempDir dir;
        dir.write("a.json", R"({"items": []})");
        fakes::ManualQueue queue;
        auto page = std::make_shared<fakes::RecordingPage>();
        auto bridge = std::make_shared<bridge::Bridge>(queue, page);
        std::vector<std::function<void()>> timers;
        auto saves = std::make_shared<files::SaveThen>(
            bridge, [&](std::chrono::milliseconds, std::function<void()> t) { timers.push_back(std::move(t)); });
        auto alert = std::make_shared<HeldAlert>();
        auto opener = std::make_shared<app::OpenFiles>(app::OpenFiles::Deps{
            bridge, bridge, alert, [](const std::string& key) { return key; },
            [saves](std::function<void(bool)> written) {
                saves->saveThen([written](files::SaveReason r) { written(r == files::SaveReason::Written); });
            },
            nullptr, nullptr});
        auto restores = [&] {
            return std::count_if(page->scripts.begin(), page->scripts.end(),
                                 [](const std::string& s) { return s.find("__restoreNative") != std::string::npos; });
        };
        opener->setPageReady(true);
        opener->open({dir.file("a.json")});
        queue.runAll();
        ASSERT_EQ(page->scripts.back(), app::kQuitQuery);
        page->answerNext(true);
        alert->answer(0);  // Save
        queue.runAll();
        ASSERT_EQ(page->scripts.back(), files::kSaveAsTheMenuDoes);
        EXPECT_EQ(page->scripts.back().find("__menuAction"), std::string::npos);
        page->answerNext(pageSaves);
        if (*pageSaves) {
            ASSERT_EQ(timers.size(), 1u);
            timers[0]();
        }
        queue.runAll();
        EXPECT_EQ(restores(), 0);
        // Nothing is left waiting: the next open asks afresh and opens.
        opener->open({dir.file("a.json")});
        queue.runAll();
        ASSERT_EQ(page->scripts.back(), app::kQuitQuery);
        page->answerNext(false);
        queue.runAll();
        EXPECT_EQ(restores(), 1);
    }
}

}  // namespace
