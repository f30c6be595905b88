// SPDX-License-Identifier: GPL-3.0-or-later
// A board handed to the page in pieces: cut only between characters, at most two pieces in flight,
// the pieces put back together in the page into the one __restoreNative it always had, and the
// page's own failures ending the handoff.
#include "files/board_handoff.h"

#include <gtest/gtest.h>

#include <deque>

#include "bridge/page_calls.h"
#include "fakes/fakes.h"

namespace {

TEST(BoardPieces, CutsOnlyBetweenCharacters) {
    struct Case {
        std::string text;
        std::size_t pieceBytes;
        std::vector<std::size_t> cuts;
    };
    const std::string cjk = "汉字";  // two 3-byte characters
    const std::string astral =
        "a\xF0\x9F\x98\x80"
        "b";  // 1 + 4 + 1 bytes
    const std::vector<Case> cases = {
        {"", 4, {0, 0}},
        {"abcd", 4, {0, 4}},
        {"abcdefghi", 4, {0, 4, 8, 9}},
        {"ab" + cjk, 4, {0, 2, 5, 8}},  // the first character would straddle the cut
        {astral + astral, 4, {0, 1, 5, 7, 11, 12}},
        {"\xE2\x80\xA8\xE2\x80\xA9", 4, {0, 3, 6}},  // the two JavaScript line terminators
        {"abc", 1, {0, 3}},                          // a piece always has room for one character
    };
    for (const Case& c : cases) EXPECT_EQ(files::pieceCuts(c.text, c.pieceBytes), c.cuts) << c.text;
}

TEST(BoardPieces, PieceSizeFollowsTheBoardWithinBounds) {
    const std::size_t k = 1024, m = 1024 * 1024;
    const std::pair<std::size_t, std::size_t> cases[] = {
        {0, 512 * k}, {8 * m, 512 * k}, {10 * m, 640 * k}, {64 * m, 4 * m}, {150 * m, 4 * m}};
    for (auto [size, piece] : cases) EXPECT_EQ(files::pieceBytesFor(size), piece) << size;
}

// The page as the handoff meets it: every call in order, pieces held until the test answers them.
class PiecePage final : public fakes::NullSink {
public:
    std::vector<std::string> calls;
    std::deque<std::pair<std::string, Done>> held;  // piece text and its answer
    std::string received;

    void callGuarded(std::string name, json::Value arg) override {
        calls.push_back(name + "|" + json::write(arg).value_or("?"));
    }
    void callGuardedPositional(std::string name, json::Array args) override {
        calls.push_back(name + "|" + json::write(json::Value(args)).value_or("?"));
    }
    void carryThen(std::string body, std::string text, Done done) override {
        calls.push_back(body.find("__restoreNative") != std::string::npos ? "last" : "piece");
        received += text;
        held.emplace_back(std::move(text), std::move(done));
    }
    void answer(std::optional<bool> ok) {
        auto done = std::move(held.front().second);
        held.pop_front();
        done(ok);
    }
};

TEST(BoardHandoff, SendsTwoPiecesAtATimeAndNamesTheFileAfterTheLast) {
    auto page = std::make_shared<PiecePage>();
    const std::string text = R"({"items":[{"type":"note","text":"汉字汉字汉字"}]})";
    int finished = 0;
    files::handBoard(
        page, text, "b.json", [&] { ++finished; }, 16);
    EXPECT_EQ(page->held.size(), 2u) << "no more than two pieces wait in the page";
    while (!page->held.empty()) {
        EXPECT_EQ(finished, 0);
        page->answer(true);
    }
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(page->received, text);
    const std::vector<std::string> calls = {
        R"(__openProgress|["b.json",0])",    "piece", R"(__openProgress|["b.json",0.28])", "piece",
        R"(__openProgress|["b.json",0.56])", "piece", R"(__openProgress|["b.json",0.88])", "last",
        R"(__boardOpened|"b.json")"};
    ASSERT_EQ(page->calls.size(), calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i)
        if (calls[i].rfind("__openProgress", 0) == 0)
            EXPECT_EQ(page->calls[i].rfind(R"(__openProgress|["b.json",)", 0), 0u) << page->calls[i];
        else
            EXPECT_EQ(page->calls[i], calls[i]);
}

TEST(BoardHandoff, ASmallBoardIsOneCallAsBefore) {
    auto page = std::make_shared<PiecePage>();
    int finished = 0;
    files::handBoard(page, R"({"items":[]})", "a.json", [&] { ++finished; });
    EXPECT_EQ(page->calls, (std::vector<std::string>{"last", R"(__boardOpened|"a.json")"}));
    page->answer(true);
    EXPECT_EQ(finished, 1);
}

TEST(BoardHandoff, APieceThePageCouldNotTakeEndsTheHandoff) {
    for (std::optional<bool> failure : {std::optional<bool>(), std::optional<bool>(false)}) {
        auto page = std::make_shared<PiecePage>();
        int finished = 0;
        files::handBoard(
            page, std::string(100, 'x'), "c.json", [&] { ++finished; }, 10);
        page->answer(failure);  // the page reloaded, or threw
        EXPECT_EQ(finished, 1);
        std::size_t pieces = page->held.size();
        page->answer(true);  // the one still in flight answers late
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(page->held.size(), pieces - 1) << "no piece is sent after a failure";
        EXPECT_EQ(std::count(page->calls.begin(), page->calls.end(), "last"), 0);
    }
    // A page that is gone before the handoff starts: it ends at once.
    int finished = 0;
    files::handBoard(std::weak_ptr<bridge::PageSink>(), "{}", "d.json", [&] { ++finished; });
    EXPECT_EQ(finished, 1);
}

}  // namespace
