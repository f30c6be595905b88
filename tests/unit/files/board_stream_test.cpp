// SPDX-License-Identifier: GPL-3.0-or-later
// A board saved in pieces: the pieces land in order whether the chooser answers before, during or
// after them; cancelling, giving up and failing never touch the board's file and leave nothing
// behind; the quit is held only while the chooser is open or the file is being completed.
#include <sys/mount.h>
#include <unistd.h>

#include <cstring>

#include "files/file_io.h"
#include "files_fixture.h"
#include "support/gtk_support.h"
#include "support/temporaries.h"

using namespace filestest;
using testsupport::namesIn;
using testsupport::temporariesIn;
namespace fs = std::filesystem;
using bridge::BoardTarget;

namespace {

struct Streams : Fixture {
    std::shared_ptr<files::DocumentFile> doc = std::make_shared<files::DocumentFile>();
    std::vector<files::SaveOutcome> outcomes;
    std::vector<std::string> starts;
    std::weak_ptr<int> hold;  // the last quit hold handed out

    Streams() {
        exchange->setDocument(doc);
        exchange->setSaveObserver([this](const files::SaveOutcome& o) { outcomes.push_back(o); });
        exchange->setSaveStartObserver([this](const std::string& a) { starts.push_back(a); });
        exchange->setQuitHold([this] {
            auto token = std::make_shared<int>(0);
            hold = token;
            return std::shared_ptr<void>(token);
        });
    }
    void pieces(std::initializer_list<const char*> texts) {
        for (const char* t : texts) exchange->saveBoardPiece(t);
    }
    // Runs the write queue until it is idle.
    void drain() {
        settle([&] { return false; }, std::chrono::milliseconds(200));
    }
    bool holding() const { return !hold.expired(); }
};

}  // namespace

TEST(BoardStream, InPlaceStartsTheWriteAtBeginAndReplacesTheFileOnlyAtTheEnd) {
    testsupport::TempDir dir;
    Streams f;
    spit(dir.file("board.json"), "old");
    f.doc->set(dir.file("board.json"));

    f.exchange->saveBoardBegin(BoardTarget::Document);
    EXPECT_TRUE(f.panels->shown.empty());
    EXPECT_EQ(f.starts, std::vector<std::string>{"saveJSON"});
    f.pieces({"{\"items\":[", "1,", "2"});
    f.drain();
    // Written beside it so far; the board's file is as it was, and nothing holds the quit yet.
    EXPECT_EQ(temporariesIn(dir.path()), 1);
    EXPECT_EQ(slurp(dir.file("board.json")), "old");
    EXPECT_FALSE(f.holding());

    f.pieces({"]}"});
    f.exchange->saveBoardEnd();
    EXPECT_TRUE(f.holding());
    ASSERT_TRUE(f.saved());
    EXPECT_FALSE(f.holding());
    EXPECT_EQ(slurp(dir.file("board.json")), "{\"items\":[1,2]}");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"board.json"});
    ASSERT_EQ(f.outcomes.size(), 1u);
    EXPECT_TRUE(f.outcomes[0].ok());
    EXPECT_TRUE(f.outcomes[0].inPlace);
    EXPECT_EQ(f.outcomes[0].name, "board.json");
}

TEST(BoardStream, PiecesLandInOrderWhenTheChooserAnswersBeforeDuringOrAfterThem) {
    enum class Answer { First, Midway, Last };
    for (Answer when : {Answer::First, Answer::Midway, Answer::Last}) {
        SCOPED_TRACE(static_cast<int>(when));
        testsupport::TempDir dir;
        Streams f;
        f.exchange->saveBoardBegin(std::nullopt);
        ASSERT_EQ(f.panels->shown.size(), 1u);
        EXPECT_EQ(f.panels->shown.front().suggestedName.rfind("TAVRIK-", 0), 0u);
        EXPECT_EQ(f.starts.size(), 1u);
        EXPECT_TRUE(f.holding());  // the chooser is open
        if (when == Answer::First) f.panels->answerNext(dir.file("named"));
        f.pieces({"a", "b"});
        f.drain();
        if (when == Answer::Midway) {
            f.panels->answerNext(dir.file("named"));
            EXPECT_FALSE(f.holding());  // the rest is the page's to send
        }
        f.pieces({"c", "d"});
        f.exchange->saveBoardEnd();
        if (when == Answer::Last) {
            f.drain();
            EXPECT_TRUE(f.outcomes.empty());
            f.panels->answerNext(dir.file("named"));
        }
        ASSERT_TRUE(f.saved());
        EXPECT_EQ(slurp(dir.file("named.json")), "abcd");
        EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"named.json"});
        ASSERT_EQ(f.outcomes.size(), 1u);
        EXPECT_TRUE(f.outcomes[0].ok());
        EXPECT_FALSE(f.outcomes[0].inPlace);
        EXPECT_EQ(f.doc->path(), dir.file("named.json"));
        EXPECT_FALSE(f.holding());
    }
}

TEST(BoardStream, CancelledGivenUpOrFailedBoardsLeaveTheFileAndReportOnce) {
    using Reason = files::SaveReason;
    struct Case {
        const char* name;
        std::function<void(Streams&, testsupport::TempDir&)> run;
        Reason reason;
    };
    const Case cases[] = {
        {"chooser cancelled while pieces come",
         [](Streams& f, testsupport::TempDir&) {
             f.exchange->saveBoardBegin(BoardTarget::Choose);
             f.pieces({"a"});
             f.panels->answerNext(std::nullopt);
             f.pieces({"b"});
             f.exchange->saveBoardEnd();
         },
         Reason::Cancelled},
        {"the page gives it up",
         [](Streams& f, testsupport::TempDir&) {
             f.exchange->saveBoardBegin(BoardTarget::Document);
             f.pieces({"a"});
             f.drain();
             f.exchange->saveBoardAbort();
             f.pieces({"b"});
             f.exchange->saveBoardEnd();
         },
         Reason::Cancelled},
        {"the page reloads",
         [](Streams& f, testsupport::TempDir&) {
             f.exchange->saveBoardBegin(BoardTarget::Document);
             f.pieces({"a"});
             f.exchange->pageGone();
         },
         Reason::Cancelled},
        {"the board's folder is gone",
         [](Streams& f, testsupport::TempDir& dir) {
             f.doc->set(dir.file("gone/board.json"));
             f.exchange->saveBoardBegin(BoardTarget::Document);
             f.drain();
             EXPECT_EQ(f.outcomes.size(), 1u) << "told at once, not at the end";
             f.pieces({"a"});
             f.exchange->saveBoardEnd();
         },
         Reason::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        Streams f;
        spit(dir.file("board.json"), "old");
        f.doc->set(dir.file("board.json"));
        c.run(f, dir);
        ASSERT_TRUE(f.saved());
        f.drain();
        ASSERT_EQ(f.outcomes.size(), 1u);
        EXPECT_EQ(f.outcomes[0].reason, c.reason);
        EXPECT_EQ(f.desktop.beeps, c.reason == Reason::Failed ? 1 : 0);
        EXPECT_EQ(slurp(dir.file("board.json")), "old");
        EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"board.json"});
        EXPECT_FALSE(f.holding());
    }
}

TEST(BoardStream, ANewBoardGivesUpTheOneStillComingAndStrayPiecesAreIgnored) {
    testsupport::TempDir dir;
    Streams f;
    spit(dir.file("board.json"), "old");
    f.doc->set(dir.file("board.json"));

    // Pieces and ends with no board begun: nothing happens.
    f.pieces({"stray"});
    f.exchange->saveBoardEnd();
    f.exchange->saveBoardAbort();
    f.drain();
    EXPECT_TRUE(f.outcomes.empty());
    EXPECT_TRUE(f.starts.empty());

    f.exchange->saveBoardBegin(BoardTarget::Document);
    f.pieces({"first "});
    f.exchange->saveBoardBegin(BoardTarget::Document);
    f.pieces({"second"});
    f.exchange->saveBoardEnd();
    f.pieces({" late"});
    f.exchange->saveBoardEnd();
    ASSERT_TRUE(f.saved());
    f.drain();
    ASSERT_EQ(f.outcomes.size(), 2u);
    EXPECT_EQ(f.outcomes[0].reason, files::SaveReason::Cancelled);
    EXPECT_EQ(f.outcomes[1].reason, files::SaveReason::Written);
    EXPECT_EQ(slurp(dir.file("board.json")), "second");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"board.json"});

    // Without a window to show the chooser on, nothing is written or reported.
    f.panels->hasWindow = false;
    f.exchange->saveBoardBegin(std::nullopt);
    f.pieces({"x"});
    f.exchange->saveBoardEnd();
    f.drain();
    EXPECT_EQ(f.outcomes.size(), 2u);
    EXPECT_EQ(f.exchange->savesInProgress(), 0u);
}

// A disk that fills half-way through the board: the board's file keeps its old bytes and no
// temporary file is left. Root is not spared a full tmpfs, so no other user is needed.
TEST(BoardStream, ADiskFullHalfWayLeavesTheOldFile) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a tmpfs";
    char tmpl[] = "/tmp/tavrik-stream-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    std::string root = tmpl;
    if (mount("tmpfs", root.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k") != 0) {
        rmdir(root.c_str());
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    {
        Streams f;
        spit(root + "/board.json", "old");
        f.doc->set(root + "/board.json");
        f.exchange->saveBoardBegin(BoardTarget::Document);
        std::string piece(64 * 1024, 'n');
        for (int i = 0; i < 8; ++i) f.exchange->saveBoardPiece(piece);
        f.exchange->saveBoardEnd();
        ASSERT_TRUE(f.saved());
        f.drain();
        ASSERT_EQ(f.outcomes.size(), 1u);
        EXPECT_EQ(f.outcomes[0].reason, files::SaveReason::Failed);
        EXPECT_EQ(slurp(root + "/board.json"), "old");
        EXPECT_EQ(namesIn(root), std::vector<std::string>{"board.json"});
    }
    umount2(root.c_str(), MNT_DETACH);
    rmdir(root.c_str());
}
