// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <random>

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

// Uploads of 256 K characters and more arrive as bytes the engine decoded rather than as text: a
// whole data URL and the page's chunks both still render.
TEST(RenderPdfInPage, LargeUploadsRenderWholeAndInChunks) {
    setenv("TAVRIK_RENDER_HELPER", renderfixtures::helperPath().c_str(), 1);
    testsupport::Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    // Noise does not compress: two pages of it make a PDF of about 600 KB.
    common::Bytes pdf = renderfixtures::makePdf({{612, 792}, {612, 792}}, [](cairo_t* cr, int page, double, double) {
        cairo_surface_t* noise = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 400, 400);
        std::mt19937 random(page);
        auto* px = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(noise));
        for (int i = 0; i < 400 * 400; ++i) px[i] = random();
        cairo_surface_mark_dirty(noise);
        cairo_set_source_surface(cr, noise, 0, 0);
        cairo_paint(cr);
        cairo_surface_destroy(noise);
    });
    ASSERT_GT(pdf.size(), 400'000u);
    shell.eval("window.big = '" + common::dataurl::make("application/pdf", pdf) + "'; true");
    shell.eval(
        "post({action: 'renderPDF', name: 'a.pdf', reqId: 'whole', dataUrl: big});"
        "const body = big.slice(big.indexOf(',') + 1), n = 262144;"
        "post({action: 'renderPDFBegin', reqId: 'chunks'});"
        "for (let i = 0; i < body.length; i += n) post({action: 'renderPDFChunk', reqId: 'chunks', chunk: "
        "body.slice(i, i + n)});"
        "post({action: 'renderPDFEnd', reqId: 'chunks'}); true");
    ASSERT_TRUE(shell.waitFor("calls.filter(c => c.startsWith('done')).length == 2"));
    EXPECT_EQ(shell
                  .eval("JSON.stringify(calls.filter(c => c.startsWith('page')).map(c => c.split('|').slice(1, "
                        "4).join()).sort())")
                  .value_or(""),
              R"(["chunks,0,2","chunks,1,2","whole,0,2","whole,1,2"])");
}

}  // namespace
