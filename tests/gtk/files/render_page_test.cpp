#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>

#include "common/data_url.h"
#include "support/gtk_support.h"
#include "unit/files/render_fixtures.h"

namespace {

// The page records every render call it receives, in order, as "name|reqId|index|total|prefix".
constexpr const char* kPage = R"(<!doctype html><meta charset="utf-8"><script>
window.calls = [];
window.__pdfPageU = (reqId, i, n, url) => {
  const img = new Image();
  img.onload = () => window.sizes.push(img.naturalWidth + 'x' + img.naturalHeight);
  img.src = url;
  window.calls.push(['page', reqId, i, n, url.slice(0, 23)].join('|'));
};
window.__pdfRendered = (reqId, list) => window.calls.push(['done', reqId, JSON.stringify(list)].join('|'));
window.sizes = [];
window.post = (m) => window.webkit.messageHandlers.canvasBridge.postMessage(m);
</script>)";

TEST(RenderPdfInPage, PageReceivesPagesInOrderThenRendered) {
    setenv("TAVRIK_RENDER_HELPER", renderfixtures::helperPath().c_str(), 1);
    testsupport::Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    std::string dataUrl =
        common::dataurl::make("application/pdf", renderfixtures::makePdf({{612, 792}, {842, 595}, {100, 100}}));
    shell.eval("post({action: 'renderPDF', name: 'a.pdf', reqId: 'r1', dataUrl: '" + dataUrl + "'}); true");
    // A corrupt PDF right after it ends with __pdfRendered alone.
    shell.eval(
        "post({action: 'renderPDF', name: 'b.pdf', reqId: 'bad', dataUrl: "
        "'data:application/pdf;base64,JVBERi0xLjQKZ2FyYmFnZQ=='}); true");
    ASSERT_TRUE(shell.waitFor("calls.filter(c => c.startsWith('done')).length == 2"));
    ASSERT_TRUE(shell.waitFor("sizes.length == 3"));
    auto calls = shell.eval("JSON.stringify(calls.filter(c => c.includes('|r1|')))");
    EXPECT_EQ(calls.value_or(""), R"(["page|r1|0|3|data:image/jpeg;base64,","page|r1|1|3|data:image/jpeg;base64,",)"
                                  R"("page|r1|2|3|data:image/jpeg;base64,","done|r1|[]"])");
    EXPECT_EQ(shell.eval("JSON.stringify(calls.filter(c => c.includes('|bad|')))").value_or(""), R"(["done|bad|[]"])");
    // The images decode in the page at the sizes the pages ask for (the onload order may vary).
    EXPECT_EQ(shell.eval("JSON.stringify(sizes.slice().sort())").value_or(""),
              R"(["1484x1920","1920x1357","1920x1920"])");
}

}  // namespace
