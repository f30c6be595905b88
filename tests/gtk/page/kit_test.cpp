// SPDX-License-Identifier: GPL-3.0-or-later
// The page kit (html/bridge.js), as the reference page loads it, against the real shell: each
// kind of request finds its own answer, a stream arrives whole and in order and ends in the
// network when its signal aborts, and PDFs sent whole or in pieces get their own pages.
#include <gtest/gtest.h>

#include <atomic>

#include "support/gtk_support.h"
#include "support/pdf_objects.h"
#include "support/real_page.h"
#include "support/stream_test_server.h"

namespace {

using namespace std::chrono_literals;
using testsupport::StreamTestServer;

// A one-page PDF, with `padding` bytes of an unused stream to make it large.
std::string pdfDataUrl(std::size_t padding) {
    const std::string content = "0 0 1 rg 10 10 100 50 re f";
    std::vector<std::string> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
    };
    if (padding)
        objects.push_back("<< /Length " + std::to_string(padding) + " >>\nstream\n" + std::string(padding, 'x') +
                          "\nendstream");
    std::string pdf = testsupport::pdfFromObjects(objects);
    g_autofree char* b64 = g_base64_encode(reinterpret_cast<const guchar*>(pdf.data()), pdf.size());
    return std::string("data:application/pdf;base64,") + b64;
}

// The PDF render helper is built beside the application, not beside this test.
std::string renderHelper() {
    std::string exe = TAVRIK_BINARY;
    return exe.substr(0, exe.rfind('/')) + "/tavrik-render";
}

struct KitTest : testing::Test {
    static void SetUpTestSuite() { setenv("TAVRIK_RENDER_HELPER", renderHelper().c_str(), 0); }
    void SetUp() override {
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        js("window.kit = null; import(new URL('bridge.js', location.href).href).then((k) => { window.kit = k; }); "
           "true");
        ASSERT_TRUE(shell.waitFor("!!window.kit"));
    }
    std::string js(const std::string& script) { return shell.eval(script).value_or("<error>"); }
    // Runs the body of an async function in the page: its result as JSON, or the error it threw.
    std::string run(const std::string& body) {
        js("window.__done = undefined; (async () => { " + body +
           " })().then((v) => { window.__done = JSON.stringify(v); },"
           " (e) => { window.__done = 'threw ' + e.name; }); true");
        EXPECT_TRUE(shell.waitFor("window.__done !== undefined", 30s)) << body;
        return js("window.__done");
    }

    testsupport::Shell shell{""};
    StreamTestServer server;
    std::atomic<bool> closed{false};
};

TEST_F(KitTest, EachRequestFindsItsAnswerInTheRealShell) {
    // The vault: answers come to the request that asked, and never with the secret.
    EXPECT_EQ(run(R"(
        const set = await kit.request('vaultSet', {keyId: 'kit-key', value: 'sk-kit-0123456789'});
        const [has, none] = await Promise.all([kit.request('vaultStatus', {keyId: 'kit-key'}),
                                               kit.request('vaultStatus', {keyId: 'no-such-key'})]);
        const list = await kit.request('vaultList');
        const gone = await kit.request('vaultDelete', {keyId: 'kit-key'});
        const all = JSON.stringify([set, has, none, list, gone]);
        return [set.ok, has.keyId, has.has, has.hint === set.hint, none.keyId, none.has, list.keys.includes('kit-key'),
                gone.ok, all.includes('0123456789')];)"),
              R"([true,"kit-key",true,true,"no-such-key",false,true,true,false])");

    // An image and a plain request side by side.
    server.handle([&](StreamTestServer::Exchange& x) {
        if (x.head.find("GET /png") == 0) {
            const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
            x.sendHead(200, {"Content-Type: image/png", "Content-Length: " + std::to_string(png.size())});
            x.send(png);
        } else if (x.head.find("GET /words") == 0) {
            x.sendHead(200, {"Content-Type: text/plain"});
            for (const char* w : {"one ", "two ", "three"}) x.send(w);
            x.end();
        } else if (x.head.find("GET /endless") == 0) {
            x.sendHead(200, {"Content-Type: text/plain"});
            x.send("start");
            closed = x.waitForClose(20s);
        } else {
            x.sendHead(404, {"Content-Length: 2"});
            x.send("no");
        }
    });
    js("window.base = '" + server.url("") + "'; true");
    EXPECT_EQ(run(R"(
        const [img, missing] = await Promise.all([kit.request('fetchImage', {url: base + '/png'}),
                                                  kit.request('netRequest', {url: base + '/nothing', method: 'GET'})]);
        return [img.dataUrl.slice(0, 22), missing.ok, missing.status, missing.text];)"),
              R"(["data:image/png;base64,",false,404,"no"])");

    // A stream: whole and in order, the status with its first piece, then an empty final reply.
    EXPECT_EQ(run(R"(
        const s = kit.stream({url: base + '/words', method: 'GET'});
        const pieces = [];
        for await (const p of s) pieces.push(p);
        const reply = await s.reply;
        return [pieces.map((p) => p.text).join(''), pieces[0].status, pieces.every((p, i) => p.seq === i),
                reply.ok, reply.status, reply.text];)"),
              R"(["one two three",200,true,true,200,""])");

    // Aborted while the server still sends: the loop ends at once and the shell closes the connection.
    EXPECT_EQ(run(R"(
        const stop = new AbortController();
        const got = [];
        try {
          for await (const p of kit.stream({url: base + '/endless', method: 'GET'}, {signal: stop.signal})) {
            got.push(p.text);
            stop.abort();
          }
        } catch (e) { return [got.join(''), e.name]; }
        return 'not stopped';)"),
              R"(["start","AbortError"])");
    EXPECT_TRUE(testsupport::runUntil([&] { return closed.load(); }, 10s)) << "the connection stayed open";
}

TEST_F(KitTest, PdfsSentWholeOrInPiecesGetTheirOwnPages) {
    js("window.small = '" + pdfDataUrl(0) + "'; window.big = '" + pdfDataUrl(600 * 1024) + "'; true");
    ASSERT_EQ(js("String(big.length > 512 * 1024 * 1.5)"), "true");
    EXPECT_EQ(run(R"(
        const render = async (name, dataUrl) => {
          const pages = [];
          const done = await kit.request('renderPDF', {name, dataUrl}, {onPage: (p) => pages.push(p)});
          return [done.pages, done.locked, pages.map((p) => `${p.index}/${p.total} ${p.dataUrl.slice(0, 23)}`)];
        };
        return Promise.all([render('big.pdf', big), render('small.pdf', small),
                            render('broken.pdf', 'data:application/pdf;base64,bm90IGEgcGRm')]);)"),
              R"([[1,false,["0/1 data:image/jpeg;base64,"]],[1,false,["0/1 data:image/jpeg;base64,"]],[0,false,[]]])");
    // The page's own imports are not disturbed by a request it did not make.
    EXPECT_EQ(js("String(board.doc().items.length)"), "0");
}

}  // namespace
