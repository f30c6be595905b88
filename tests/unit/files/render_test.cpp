// SPDX-License-Identifier: GPL-3.0-or-later
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "bridge/bridge.h"
#include "common/base64.h"
#include "common/data_url.h"
#include "fakes/fakes.h"
#include "files/pdf_renderer.h"
#include "files/render_pool.h"
#include "files/render_process.h"
#include "support/json_text.h"
#include "unit/files/render_fixtures.h"

namespace {

using namespace renderfixtures;
using namespace std::chrono_literals;

struct PageCall {
    std::string reqId;
    int index = 0, total = 0;
    std::string dataUrl;
};

// What one request showed the page, read back from the evaluated call texts.
struct Outcome {
    std::vector<PageCall> pages;
    int rendered = 0;  // __pdfRendered calls
    bool renderedLast = true;
    int locked = 0;       // __pdfLocked calls, each before __pdfRendered
    int truncatedTo = 0;  // the page count of __pdfTruncated; negative when it came after __pdfRendered
};

// The JSON array J of "window.name((J)[0], …)".
json::Array argsOf(const std::string& script) {
    auto start = script.find("((") + 2;
    auto end = script.find(")[0]");
    auto v = testsupport::parseJson(std::string_view(script).substr(start, end - start));
    return v && v->array() ? *v->array() : json::Array{};
}

std::map<std::string, Outcome> outcomes(const std::vector<std::string>& scripts) {
    std::map<std::string, Outcome> out;
    constexpr std::string_view kLocked = "window.__pdfLocked && window.__pdfLocked(";
    for (auto& s : scripts) {
        if (s.rfind(kLocked, 0) == 0) {
            auto id = testsupport::parseJson(std::string_view(s).substr(kLocked.size(), s.size() - kLocked.size() - 1));
            if (!id || !id->string()) continue;
            Outcome& o = out[*id->string()];
            o.locked += o.rendered ? 100 : 1;
            continue;
        }
        json::Array a = argsOf(s);
        if (a.empty() || !a[0].string()) continue;
        Outcome& o = out[*a[0].string()];
        if (s.rfind("window.__pdfTruncated && window.__pdfTruncated(", 0) == 0 && a.size() == 2) {
            o.truncatedTo = static_cast<int>(*a[1].number()) * (o.rendered ? -1 : 1);
        } else if (s.rfind("window.__pdfPageU(", 0) == 0 && a.size() == 4) {
            if (o.rendered) o.renderedLast = false;
            o.pages.push_back(
                {*a[0].string(), static_cast<int>(*a[1].number()), static_cast<int>(*a[2].number()), *a[3].string()});
        } else if (s.rfind("window.__pdfRendered(", 0) == 0) {
            EXPECT_EQ(a.size(), 2u);
            EXPECT_EQ(a[1], json::Value(json::Array{}));
            ++o.rendered;
        }
    }
    return out;
}

// The real bridge and renderer on a recording page; workers as many as the test asks.
struct Rig {
    fakes::ManualQueue queue;
    std::shared_ptr<fakes::RecordingPage> page = std::make_shared<fakes::RecordingPage>();
    std::shared_ptr<bridge::Bridge> bridge = std::make_shared<bridge::Bridge>(queue, page);
    common::Workers workers;
    std::shared_ptr<files::PdfRenderer> renderer;

    explicit Rig(unsigned threads = 2, files::RenderLimits limits = {}) : workers(queue, threads) {
        if (limits.helperPath.empty()) limits.helperPath = helperPath();
        renderer = std::make_shared<files::PdfRenderer>(bridge, workers, std::move(limits));
        bridge::addRenderCommands(bridge->commands(), renderer);
    }
    void send(json::Object msg) { bridge->receive(json::Value(std::move(msg))); }
    // Waits until every id in ids has its __pdfRendered.
    std::map<std::string, Outcome> finish(const std::vector<std::string>& ids) {
        bool all = queue.runUntil([&] {
            auto o = outcomes(page->scripts);
            for (auto& id : ids)
                if (!o.count(id) || o[id].rendered == 0) return false;
            return true;
        });
        EXPECT_TRUE(all) << "a request never ended";
        return outcomes(page->scripts);
    }
};

json::Object renderPDF(const std::string& reqId, const common::Bytes& pdf) {
    return {{"action", "renderPDF"},
            {"name", "a.pdf"},
            {"reqId", reqId},
            {"dataUrl", common::dataurl::make("application/pdf", pdf)}};
}

common::Bytes jpegOf(const PageCall& p) {
    EXPECT_EQ(p.dataUrl.rfind("data:image/jpeg;base64,", 0), 0u);
    return common::base64::decode(std::string_view(p.dataUrl).substr(23)).value_or(common::Bytes{});
}

void expectInOrder(const Outcome& o, int total) {
    for (std::size_t i = 0; i < o.pages.size(); ++i) {
        EXPECT_EQ(o.pages[i].total, total);
        if (i) {
            EXPECT_LT(o.pages[i - 1].index, o.pages[i].index);
        }
    }
    EXPECT_EQ(o.rendered, 1);
    EXPECT_TRUE(o.renderedLast);
}

TEST(RenderPdf, PageCountsIndicesAndTotals) {
    Rig rig;
    rig.send(renderPDF("three", pages(3)));
    rig.send(renderPDF("many", pages(121, 1000, 10)));  // thin pages: 1920 × 19 pixels, quick
    rig.send(renderPDF("one", pages(1)));
    auto o = rig.finish({"three", "many", "one"});
    // Of a longer PDF the first 120 pages come, and the page is told the document's count first.
    struct Case {
        std::string id;
        int calls, truncatedTo;
    } cases[] = {{"three", 3, 0}, {"many", 120, 121}, {"one", 1, 0}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(o[c.id].truncatedTo, c.truncatedTo);
        ASSERT_EQ(static_cast<int>(o[c.id].pages.size()), c.calls);
        for (int i = 0; i < c.calls; ++i) EXPECT_EQ(o[c.id].pages[i].index, i);
        expectInOrder(o[c.id], c.calls);
    }
}

TEST(RenderPdf, PageSizesAndOpaqueWhite) {
    Rig rig;
    // Letter, A4 landscape, a small square, and a 14,400-pt page (bounded by the scale, not its size).
    rig.send(renderPDF("sizes", makePdf({{612, 792}, {842, 595}, {100, 100}})));
    rig.send(renderPDF("huge", handmadePdf("[0 0 14400 14400]")));
    auto o = rig.finish({"sizes", "huge"});
    struct Case {
        const char* id;
        int page, width, height;
    } cases[] = {{"sizes", 0, 1484, 1920}, {"sizes", 1, 1920, 1357}, {"sizes", 2, 1920, 1920}, {"huge", 0, 1920, 1920}};
    ASSERT_EQ(o["sizes"].pages.size(), 3u);
    ASSERT_EQ(o["huge"].pages.size(), 1u);
    for (auto& c : cases) {
        SCOPED_TRACE(std::string(c.id) + " page " + std::to_string(c.page));
        auto image = decodeJpeg(jpegOf(o[c.id].pages[c.page]));
        ASSERT_TRUE(image);
        EXPECT_NEAR(image->width, c.width, 1);
        EXPECT_NEAR(image->height, c.height, 1);
        // The page leaves its corners unpainted: they come out white, not black or grey.
        for (auto [x, y] : {std::pair{1, 1}, {image->width - 2, image->height - 2}}) {
            std::uint32_t px = image->at(x, y);
            EXPECT_GE(std::min({px >> 16, (px >> 8) & 0xff, px & 0xff}), 0xf5u) << std::hex << px;
        }
    }
    // The 14,400-pt page's blue 50-pt square lands in its bottom-left corner, scaled down.
    auto huge = decodeJpeg(jpegOf(o["huge"].pages[0]));
    EXPECT_GT(huge->at(2, huge->height - 3) & 0xff, 0xc0u);
    EXPECT_LT(huge->at(2, huge->height - 3) >> 16, 0x40u);
}

// Pages come out as PDF viewers show them: the crop box, turned by /Rotate. A blue 50-pt square
// sits in the bottom-left corner of the box before turning.
TEST(RenderPdf, CropBoxAndRotation) {
    Rig rig;
    struct Case {
        const char* id;
        common::Bytes pdf;
        int width, height;
        std::pair<int, int> blue;  // a pixel inside the square, after turning
    } cases[] = {
        {"letter-cropped",
         handmadePdf("[0 0 612 792]", "0 0 1 rg 100 100 50 50 re f", "/CropBox [100 100 400 400]"),
         1920,
         1920,
         {20, 1900}},
        {"rotate-90", handmadePdf("[0 0 612 792]", "0 0 1 rg 0 0 50 50 re f", "/Rotate 90"), 1920, 1484, {20, 20}},
        {"rotate-270",
         handmadePdf("[0 0 612 792]", "0 0 1 rg 0 0 50 50 re f", "/Rotate 270"),
         1920,
         1484,
         {1900, 1464}},
        {"cropped-rotate-90",
         handmadePdf("[0 0 612 792]", "0 0 1 rg 100 100 50 50 re f", "/CropBox [100 100 400 200] /Rotate 90"),
         640,
         1920,
         {20, 20}},
    };
    std::vector<std::string> ids;
    for (auto& c : cases) {
        rig.send(renderPDF(c.id, c.pdf));
        ids.push_back(c.id);
    }
    auto o = rig.finish(ids);
    for (auto& c : cases) {
        SCOPED_TRACE(c.id);
        ASSERT_EQ(o[c.id].pages.size(), 1u);
        auto image = decodeJpeg(jpegOf(o[c.id].pages[0]));
        ASSERT_TRUE(image);
        EXPECT_NEAR(image->width, c.width, 1);
        EXPECT_NEAR(image->height, c.height, 1);
        std::uint32_t blue = image->at(c.blue.first, c.blue.second);
        EXPECT_GT(blue & 0xff, 0xc0u) << std::hex << blue;
        EXPECT_LT(blue >> 16, 0x40u) << std::hex << blue;
        // The opposite corner is white: nothing outside the box is drawn in.
        std::uint32_t far = image->at(image->width - 1 - c.blue.first, image->height - 1 - c.blue.second);
        EXPECT_GE(far & 0xff, 0xf0u) << std::hex << far;
        EXPECT_GE(far >> 16, 0xf0u) << std::hex << far;
    }
}

TEST(RenderPdf, BadInputEndsWithRenderedOnly) {
    Rig rig;
    common::Bytes whole = pages(3);
    struct Case {
        const char* id;
        common::Bytes pdf;
    } cases[] = {
        {"garbage", common::toBytes("this is not a PDF at all, just some text")},
        {"random", common::Bytes(4096, 0xA7)},
        {"truncated", common::Bytes(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2))},
        {"header-only", common::toBytes("%PDF-1.4\n")},
        {"locked", lockedPdf()},
    };
    std::vector<std::string> ids;
    for (auto& c : cases) {
        rig.send(renderPDF(c.id, c.pdf));
        ids.push_back(c.id);
    }
    rig.send({{"action", "renderPDF"},
              {"name", "x"},
              {"reqId", "undecodable"},
              {"dataUrl", "data:application/pdf;base64,%%%"}});
    ids.push_back("undecodable");
    // Degenerate page boxes: no area, no image; a strip keeps one pixel.
    struct Box {
        const char* id;
        const char* box;
    } boxes[] = {{"no-width", "[0 0 0 100]"}, {"negative", "[0 0 -5 0]"}, {"strip", "[0 0 14400 1]"}};
    for (auto& b : boxes) {
        rig.send(renderPDF(b.id, handmadePdf(b.box)));
        ids.push_back(b.id);
    }
    // An all-zero box is one poppler replaces by a default page size; it must simply not fail.
    rig.send(renderPDF("zero-box", handmadePdf("[0 0 0 0]")));
    auto o = rig.finish(ids);
    for (auto& id : ids) {
        SCOPED_TRACE(id);
        EXPECT_EQ(o[id].rendered, 1);
        // Only the file that needs a password is said to, just before its end.
        EXPECT_EQ(o[id].locked, id == "locked" ? 1 : 0);
        if (id == "strip") continue;
        EXPECT_EQ(o[id].pages.size(), 0u);
    }
    ASSERT_EQ(o["strip"].pages.size(), 1u);
    auto strip = decodeJpeg(jpegOf(o["strip"].pages[0]));
    ASSERT_TRUE(strip);
    EXPECT_EQ(strip->width, 1920);
    EXPECT_EQ(strip->height, 1);
    rig.finish({"zero-box"});
    EXPECT_LE(outcomes(rig.page->scripts)["zero-box"].pages.size(), 1u);
}

// The chunked upload, through the real dispatcher. One worker thread runs the requests in the order
// they started, so once the last id has finished, every other request has too.
TEST(RenderPdf, ChunkedProtocol) {
    common::Bytes two = pages(2), three = pages(3, 842, 595);
    auto b64 = [](const common::Bytes& b, std::size_t from, std::size_t to) {
        return common::base64::encode(b.data() + from, std::min(to, b.size()) - from);
    };
    auto begin = [](std::string id) { return json::Object{{"action", "renderPDFBegin"}, {"reqId", id}}; };
    auto chunk = [](std::string id, std::string c) {
        return json::Object{{"action", "renderPDFChunk"}, {"reqId", id}, {"chunk", std::move(c)}};
    };
    // As the page's large chunks reach the shell: kept as the bytes the engine decoded.
    auto encodedChunk = [](std::string id, std::string prefix, const common::Bytes& b, std::size_t from,
                           std::size_t to) {
        common::Bytes part(b.begin() + from, b.begin() + to);
        return json::Object{
            {"action", "renderPDFChunk"}, {"reqId", id}, {"chunk", json::EncodedString(prefix, std::move(part))}};
    };
    auto end = [](std::string id) { return json::Object{{"action", "renderPDFEnd"}, {"reqId", id}, {"name", "n"}}; };
    std::size_t half = two.size() / 2 + 1;  // not a multiple of three: chunks are decoded one by one

    struct Case {
        const char* name;
        std::vector<json::Object> messages;
        std::map<std::string, int> expected;  // reqId → pages; -1: no call at all
    } cases[] = {
        {"whole upload in two chunks",
         {begin("a"), chunk("a", b64(two, 0, half)), chunk("a", b64(two, half, two.size())), end("a")},
         {{"a", 2}}},
        {"chunk before begin is dropped and the end answers nothing",
         {chunk("a", b64(two, 0, two.size())), end("a")},
         {{"a", -1}}},
        {"a second begin discards the bytes before it",
         {begin("a"), chunk("a", b64(three, 0, 100)), begin("a"), chunk("a", b64(two, 0, two.size())), end("a")},
         {{"a", 2}}},
        {"two uploads interleaved chunk by chunk",
         {begin("a"), begin("b"), chunk("a", b64(two, 0, half)), chunk("b", b64(three, 0, 1000)),
          chunk("a", b64(two, half, two.size())), chunk("b", b64(three, 1000, three.size())), end("b"), end("a")},
         {{"a", 2}, {"b", 3}}},
        {"a chunk that is not base64 is dropped and the job stays open",
         {begin("a"), chunk("a", b64(two, 0, 300)), chunk("a", "bm90IGJhc2U2NA"), chunk("a", "!!!!"),
          chunk("a", "data:application/pdf;base64," + b64(two, 300, two.size())), chunk("a", b64(two, 300, two.size())),
          end("a")},
         {{"a", 2}}},
        {"a second end answers nothing more",
         {begin("a"), chunk("a", b64(two, 0, two.size())), end("a"), end("a")},
         {{"a", 2}}},
        {"an upload that never ends answers nothing", {begin("a"), chunk("a", b64(two, 0, two.size()))}, {{"a", -1}}},
        {"a begun but empty upload is no PDF", {begin("a"), end("a")}, {{"a", 0}}},
        {"fields missing or not strings are ignored",
         {begin("a"),
          {{"action", "renderPDFChunk"}, {"reqId", "a"}},
          {{"action", "renderPDFChunk"}, {"reqId", "a"}, {"chunk", 5}},
          {{"action", "renderPDFBegin"}, {"reqId", 7}},
          {{"action", "renderPDFEnd"}},
          {{"action", "renderPDF"}, {"reqId", "n"}, {"dataUrl", common::dataurl::make("application/pdf", two)}},
          chunk("a", b64(two, 0, two.size())),
          end("a")},
         {{"a", 2}, {"n", -1}}},
        {"strings that arrive already decoded, mixed with text; a decoded chunk that is a data URL is dropped",
         {begin("a"),
          encodedChunk("a", "", two, 0, half),
          encodedChunk("a", "data:application/pdf;base64,", two, half, two.size()),
          chunk("a", b64(two, half, two.size())),
          end("a"),
          {{"action", "renderPDF"},
           {"name", "d"},
           {"reqId", "d"},
           {"dataUrl", json::EncodedString("data:application/pdf;base64,", three)}},
          {{"action", "renderPDF"}, {"name", "b"}, {"reqId", "b"}, {"dataUrl", json::EncodedString("", two)}}},
         {{"a", 2}, {"d", 3}, {"b", 2}}},
        {"renderPDF with an empty name, and without a comma",
         {{{"action", "renderPDF"},
           {"name", ""},
           {"reqId", "e"},
           {"dataUrl", common::dataurl::make("application/pdf", two)}},
          {{"action", "renderPDF"}, {"name", "x"}, {"reqId", "c"}, {"dataUrl", b64(three, 0, three.size())}}},
         {{"e", 2}, {"c", 3}}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(1);
        for (auto& m : c.messages) rig.send(m);
        rig.send(renderPDF("sentinel", pages(1)));
        auto o = rig.finish({"sentinel"});
        for (auto& [id, want] : c.expected) {
            SCOPED_TRACE(id);
            if (want < 0) {
                EXPECT_EQ(o.count(id), 0u);
                continue;
            }
            ASSERT_EQ(static_cast<int>(o[id].pages.size()), want);
            expectInOrder(o[id], want);
        }
    }
}

TEST(RenderPdf, OwnersGoingAway) {
    files::RenderLimits limits;
    limits.helperPath = helperPath();
    int spawned = 0;
    limits.spawned = [&](pid_t) { ++spawned; };
    {
        // The bridge goes: the request still runs to its end, and its page calls are dropped.
        fakes::ManualQueue queue;
        auto page = std::make_shared<fakes::RecordingPage>();
        auto bridge = std::make_shared<bridge::Bridge>(queue, page);
        auto workers = std::make_unique<common::Workers>(queue, 1);
        auto renderer = std::make_shared<files::PdfRenderer>(bridge, *workers, limits);
        renderer->renderPDF(common::dataurl::make("application/pdf", pages(2)), "r");
        bridge.reset();
        workers.reset();  // joins once the request is over, so its page calls are all queued
        queue.runAll();
        EXPECT_TRUE(page->scripts.empty());
        EXPECT_EQ(spawned, 2);
    }
    {
        // The renderer goes (the shell is quitting): a long request ends its helpers at once.
        Rig rig(1, limits);
        rig.send(renderPDF("slow", makePdf(std::vector<std::pair<double, double>>(16, {612, 792}), scribble)));
        rig.renderer.reset();
        auto o = rig.finish({"slow"});
        EXPECT_LT(o["slow"].pages.size(), 16u);
        expectInOrder(o["slow"], 16);
    }
}

// The helper processes themselves: whatever happens to them, the request ends, the pages that came
// are in order, and no helper is left behind.
TEST(RenderIsolated, HelperFailuresEndTheRequest) {
    common::Bytes heavy = makePdf(std::vector<std::pair<double, double>>(8, {612, 792}), scribble);
    common::Bytes light = pages(8);
    struct Case {
        const char* name;
        const common::Bytes& pdf;
        std::function<void(files::RenderLimits&)> setup;
        bool killAfterFirstPage;
        int maxPages;
    } cases[] = {
        {"both helpers killed after the first page", heavy, {}, true, 7},
        {"no time for even one page", heavy, [](files::RenderLimits& l) { l.pageTimeout = 1ms; }, false, 0},
        {"too little memory to start", light, [](files::RenderLimits& l) { l.memoryMb = 16; }, false, 0},
        {"no helper executable", light, [](files::RenderLimits& l) { l.helperPath = "/nonexistent/tavrik-render"; },
         false, 0},
        {"one helper, all pages", light, [](files::RenderLimits& l) { l.processes = 1; }, false, 8},
        {"three helpers, all pages", light, [](files::RenderLimits& l) { l.processes = 3; }, false, 8},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<pid_t> pids;
        files::RenderLimits limits;
        limits.helperPath = helperPath();
        limits.spawned = [&](pid_t p) { pids.push_back(p); };
        if (c.setup) c.setup(limits);
        std::vector<int> seen;
        files::renderIsolated(c.pdf, limits, [&](int index, int total, common::Bytes jpeg) {
            EXPECT_EQ(total, 8);
            EXPECT_TRUE(decodeJpeg(jpeg));
            if (seen.empty() && c.killAfterFirstPage)
                for (pid_t p : pids) kill(p, SIGKILL);
            seen.push_back(index);
        });
        EXPECT_LE(static_cast<int>(seen.size()), c.maxPages);
        // Fresh helpers go on after the killed ones' pages.
        if (c.killAfterFirstPage) {
            ASSERT_FALSE(seen.empty());
            EXPECT_EQ(seen.back(), 7);
        }
        if (c.maxPages == 8) {
            EXPECT_EQ(seen.size(), 8u);
        }
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        for (pid_t p : pids) EXPECT_EQ(waitpid(p, nullptr, WNOHANG), -1) << "helper " << p << " not reaped";
    }
}

TEST(RenderIsolated, HelperLostBeforeItsFirstPageIsReplaced) {
    // Helper 1 (odd pages) is killed before it answers; a fresh one renders the odd pages instead.
    common::Bytes pdf = pages(6);
    files::RenderLimits limits;
    limits.helperPath = helperPath();
    int spawned = 0;
    limits.spawned = [&](pid_t p) {
        if (spawned++ == 1) kill(p, SIGKILL);
    };
    std::vector<int> seen;
    files::renderIsolated(pdf, limits, [&](int index, int total, common::Bytes) {
        EXPECT_EQ(total, 6);
        seen.push_back(index);
    });
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(spawned, 3);
}

// This process's render helpers that are still running (not yet reaped).
std::set<pid_t> ourHelpers() {
    std::set<pid_t> out;
    DIR* proc = opendir("/proc");
    while (dirent* e = proc ? readdir(proc) : nullptr) {
        std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.find("(tavrik-render)") == std::string::npos) continue;
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        char state = 0;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == getpid()) out.insert(std::stoi(e->d_name));
    }
    if (proc) closedir(proc);
    return out;
}

TEST(RenderIsolated, HelpersStartedAheadAreUsedReplacedAndEnded) {
    files::RenderLimits limits;
    limits.helperPath = helperPath();
    limits.warm = std::make_shared<files::WarmHelpers>();
    std::vector<pid_t> joined;
    limits.spawned = [&](pid_t p) { joined.push_back(p); };
    auto render = [&](const common::Bytes& pdf) {
        std::vector<int> seen;
        files::renderIsolated(pdf, limits, [&](int index, int, common::Bytes jpeg) {
            EXPECT_TRUE(decodeJpeg(jpeg));
            seen.push_back(index);
        });
        return seen;
    };
    limits.warm->fill(limits, 2);
    std::set<pid_t> waiting = ourHelpers();
    ASSERT_EQ(waiting.size(), 2u);
    // The request takes the waiting helpers, and leaves two more for the next one.
    EXPECT_EQ(render(pages(5)), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(std::set<pid_t>(joined.begin(), joined.end()), waiting);
    waiting = ourHelpers();
    EXPECT_EQ(waiting.size(), 2u);
    // Waiting helpers that died meanwhile are replaced by fresh ones (whether or not their end was
    // seen before the request took them), and cost no page.
    for (pid_t p : waiting) kill(p, SIGKILL);
    joined.clear();
    EXPECT_EQ(render(pages(3)), (std::vector<int>{0, 1, 2}));
    ASSERT_GE(joined.size(), 2u);
    for (std::size_t k = joined.size() - 2; k < joined.size(); ++k) EXPECT_EQ(waiting.count(joined[k]), 0u);
    // Ended and reaped when the shell lets go of them.
    EXPECT_EQ(ourHelpers().size(), 2u);
    limits.warm->clear();
    EXPECT_TRUE(ourHelpers().empty());
}

}  // namespace
