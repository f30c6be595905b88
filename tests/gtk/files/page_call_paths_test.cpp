// SPDX-License-Identifier: GPL-3.0-or-later
// Page calls whose long strings travel beside the script must reach the page exactly as the text
// form delivers them: same function, same arguments, same order.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "common/data_url.h"
#include "support/gtk_support.h"
#include "unit/files/render_fixtures.h"

namespace {

constexpr const char* kPage = R"(<!doctype html><meta charset="utf-8"><script>
window.calls = [];
window.__pdfPageU = (...args) => calls.push(JSON.stringify(['page', ...args]));
window.__pdfRendered = (...args) => calls.push(JSON.stringify(['done', ...args]));
window.__probe = (...args) => calls.push(JSON.stringify(['probe', args.length, ...args]));
window.post = (m) => window.webkit.messageHandlers.canvasBridge.postMessage(m);
</script>)";

// The shell finds the render helper of this build tree when it starts.
const char* pageWithHelper() {
    setenv("TAVRIK_RENDER_HELPER", renderfixtures::helperPath().c_str(), 1);
    return kPage;
}

class PageCallPaths : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(shell_.waitLoaded()); }

    // Renders a 3-page PDF (with a small call between the upload and the pages) and returns every
    // call the page received, in order.
    std::string renderThreePages(std::size_t liftBytes) {
        shell_.app().bridge()->setLiftBytes(liftBytes);
        shell_.eval("calls = []; true");
        std::string dataUrl = common::dataurl::make(
            "application/pdf", renderfixtures::makePdf({{612, 792}, {842, 595}, {300, 200}},
                                                       [](cairo_t* cr, int page, double w, double h) {
                                                           cairo_set_source_rgb(cr, page * 0.3, 0.5, 1 - page * 0.3);
                                                           cairo_rectangle(cr, w / 4, h / 4, w / 2, h / 2);
                                                           cairo_fill(cr);
                                                       }));
        shell_.eval("post({action: 'renderPDF', name: 'a.pdf', reqId: 'r\"1</script>', dataUrl: '" + dataUrl +
                    "'}); true");
        shell_.app().bridge()->pushPositional("__probe", json::Array{"between"});
        EXPECT_TRUE(shell_.waitFor("calls.some(c => c.startsWith('[\"done\"'))"));
        return shell_.eval("JSON.stringify(calls)").value_or("");
    }

    testsupport::Shell shell_{pageWithHelper()};
};

TEST_F(PageCallPaths, RenderedPagesArriveIdenticallyThroughBothPaths) {
    const std::string lifted = renderThreePages(1);
    const std::string text = renderThreePages(SIZE_MAX);
    EXPECT_EQ(lifted, text);
    // Three distinct pages, in order, then the end.
    auto shape = shell_.eval(
        "calls.map(c => JSON.parse(c)).map(c => c[0] === 'page' ? [c[0], c[1], c[2], c[3], c[4].length > 1000] : c)"
        ".map(c => c.join('|')).join(',')");
    EXPECT_EQ(shape.value_or(""),
              "probe|1|between,page|r\"1</script>|0|3|true,page|r\"1</script>|1|3|true,page|r\"1</script>|2|3|true,"
              "done|r\"1</script>|");
}

TEST_F(PageCallPaths, AwkwardStringsReachThePageUnchanged) {
    // Quotes, a closing script tag, the two JavaScript line terminators, astral and CJK text; with and
    // without a NUL (which cannot travel beside the call and so goes as text).
    const std::string awkward = "'\"\\ </script><!-- \xE2\x80\xA8 \xE2\x80\xA9 \xF0\x9F\x98\x80 汉字 `${x}`";
    const std::string withNul = awkward + std::string("\0 after", 7);
    for (std::size_t liftBytes : {std::size_t{1}, std::size_t{SIZE_MAX}}) {
        shell_.app().bridge()->setLiftBytes(liftBytes);
        shell_.eval("calls = []; true");
        shell_.app().bridge()->pushPositional("__probe", json::Array{awkward, withNul, 7, true, nullptr});
        shell_.app().bridge()->pushFunction("__probe", json::Object{{"a", awkward}, {"b", json::Array{withNul}}});
        ASSERT_TRUE(shell_.waitFor("calls.length === 2"));
        EXPECT_EQ(
            shell_
                .eval("(() => { const p = JSON.parse(calls[0]), q = JSON.parse(calls[1]);"
                      "const a = '\\'\"\\\\ </script><!-- \\u2028 \\u2029 \\u{1F600} 汉字 `${x}`', n = a + '\\0 after';"
                      "return [p[1], p[2] === a, p[3] === n, p[4], p[5], p[6], q[1], q[2].a === a, q[2].b[0] === "
                      "n].join(); "
                      "})()")
                .value_or(""),
            "5,true,true,7,true,,1,true,true")
            << "liftBytes " << liftBytes;
    }
}

}  // namespace
