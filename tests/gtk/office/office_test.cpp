// SPDX-License-Identifier: GPL-3.0-or-later
// Word and PowerPoint exports written by the application's own page under real WebKit, read back
// as an Office program would (ZIP, content types, relationships, text, pictures) and, in the
// LibreOffice-labelled run, converted by LibreOffice.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "common/data_url.h"
#include "common/json.h"
#include "support/gtk_support.h"
#include "support/json_text.h"
#include "support/real_page.h"

using testsupport::lastSent;

namespace {

const char* kBoard = R"JS(
(() => {
  const picture = (w, h, colour) => { const c = document.createElement('canvas'); c.width = w; c.height = h;
    const g = c.getContext('2d'); g.fillStyle = colour; g.fillRect(0, 0, w, h); return c.toDataURL('image/png'); };
  board.load({items: [
    {type: 'note', x: 0, y: 0, w: 200, h: 100, text: 'First <note> & "more"\nsecond line'},
    {type: 'image', x: 300, y: 0, w: 400, h: 200, name: 'wide.png', src: picture(80, 40, '#c00')},
    {type: 'file', x: 0, y: 200, w: 220, h: 64, name: 'report.xlsx', mime: 'application/vnd.ms-excel',
     dataUrl: 'data:application/vnd.ms-excel;base64,AA=='},
    {type: 'image', x: 0, y: 1500, w: 100, h: 100, name: 'drawn.svg',
     src: 'data:image/svg+xml,%3Csvg xmlns=%22http://www.w3.org/2000/svg%22 width=%2210%22 height=%2210%22/%3E'},
    {type: 'note', x: 200, y: 1500, w: 200, h: 100, text: '中文 note'},
  ]});
  return true;
})()
)JS";

class OfficeExport : public ::testing::Test {
protected:
    void SetUp() override {
        shell.app().bridge()->commands().clear();
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        testsupport::recordMessages(shell);
        ASSERT_EQ(shell.eval(kBoard), "true");
        ASSERT_TRUE(shell.waitFor("[...document.images].every((i) => i.complete)"));
    }

    // Runs an export command and writes the file the page asks the shell to save; its name.
    std::string exportTo(const std::string& command, const std::string& ext) {
        EXPECT_TRUE(shell.eval("window.__sent.length = 0; __menuAction('" + command + "'); true"));
        EXPECT_TRUE(shell.waitFor(lastSent("saveFile")));
        auto message = testsupport::parseJson(shell.eval("JSON.stringify(" + lastSent("saveFile") + ")").value_or(""));
        if (!message) return {};
        const std::string* name = message->stringAt("name");
        const std::string* dataUrl = message->stringAt("dataUrl");
        if (!name || !dataUrl) return {};
        static const std::map<std::string, std::string> kMime{
            {"docx", "data:application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
            {"pptx", "data:application/vnd.openxmlformats-officedocument.presentationml.presentation"},
            {"odt", "data:application/vnd.oasis.opendocument.text"},
            {"odp", "data:application/vnd.oasis.opendocument.presentation"}};
        EXPECT_EQ(dataUrl->substr(0, dataUrl->find(';')), kMime.at(ext));
        auto bytes = common::dataurl::decode(*dataUrl);
        EXPECT_TRUE(bytes);
        if (!bytes) return {};
        std::ofstream(dir.file(*name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
        return *name;
    }

    // The read-back summary of a package, as JSON.
    json::Value readBack(const std::string& name) {
        std::string script = std::string(TAVRIK_SOURCE_DIR) + "/tests/gtk/office/read_office.py";
        std::string file = dir.file(name);
        const char* argv[] = {"python3", script.c_str(), file.c_str(), nullptr};
        g_autofree char* out = nullptr;
        int status = 0;
        EXPECT_TRUE(g_spawn_sync(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                                 &out, nullptr, &status, nullptr));
        EXPECT_TRUE(g_spawn_check_wait_status(status, nullptr)) << out;
        return testsupport::parseJson(out ? out : "").value_or(json::Value{});
    }

    static std::string text(const json::Value& v) { return json::write(v).value_or("?"); }

    testsupport::Shell shell{""};
    testsupport::TempDir dir;
};

TEST_F(OfficeExport, WordHasTheNotesAsParagraphsAndThePicturesInlineAtPageWidth) {
    std::string name = exportTo("export:docx", "docx");
    EXPECT_TRUE(
        g_regex_match_simple("^TAVRIK-\\d{8}-\\d{4}\\.docx$", name.c_str(), GRegexCompileFlags(0), GRegexMatchFlags(0)))
        << name;
    json::Value doc = readBack(name);
    ASSERT_TRUE(doc.find("paragraphs") && doc.find("images") && doc.find("inline"));
    EXPECT_EQ(text(*doc.find("paragraphs")),
              R"(["First <note> & \"more\"second line","","[report.xlsx] application\/vnd.ms-excel","","中文 note"])");
    EXPECT_EQ(text(*doc.find("images")), R"(["word\/media\/image1.png","word\/media\/image2.png"])");
    // Sized to the 6.5 in text width, in proportion.
    EXPECT_EQ(text(*doc.find("inline")), "[[5943600,2971800],[5943600,5943600]]");
}

TEST_F(OfficeExport, PowerPointPlacesEveryItemAsOnTheBoard) {
    std::string name = exportTo("export:pptx", "pptx");
    json::Value deck = readBack(name);
    ASSERT_TRUE(deck.find("slides") && deck.find("size") && deck.find("images"));
    const json::Array& slides = *deck.find("slides")->array();
    ASSERT_EQ(slides.size(), 1u);
    // The board's bounds (with the 40 px margin) fill the slide's longer side.
    EXPECT_EQ(text(*deck.find("size")), "[5660571,12192000]");
    const double scale = 12192000.0 / 1680;  // EMU per board pixel: bounds are 780 x 1680
    const json::Array& shapes = *slides[0].array();
    ASSERT_EQ(shapes.size(), 5u);
    struct Want {
        const char* kind;
        double x, y, w, h;
        const char* text;
    } want[] = {
        {"sp", 0, 0, 200, 100, "First <note> & \"more\"\nsecond line"},
        {"pic", 300, 0, 400, 200, ""},
        {"sp", 0, 200, 220, 64, "report.xlsx\napplication/vnd.ms-excel"},
        {"pic", 0, 1500, 100, 100, ""},
        {"sp", 200, 1500, 200, 100, "中文 note"},
    };
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const json::Value& s = shapes[i];
        EXPECT_EQ(*s.stringAt("kind"), want[i].kind) << i;
        EXPECT_EQ(*s.stringAt("text"), want[i].text) << i;
        const json::Array& box = *s.find("box")->array();
        double expect[] = {(want[i].x + 40) * scale, (want[i].y + 40) * scale, want[i].w * scale, want[i].h * scale};
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(*box[k].number(), expect[k], 2) << i << " " << k;
    }
    EXPECT_EQ(text(*deck.find("images")), R"(["ppt\/media\/image1.png","ppt\/media\/image2.png"])");

    // With a ratio chosen, each frame of that ratio is a slide with what lies in it.
    json::Value frames = readBack(exportTo("export:pptx:1", "pptx"));
    ASSERT_TRUE(frames.find("slides") && frames.find("size"));
    EXPECT_EQ(text(*frames.find("size")), "[12192000,6858000]");
    const json::Array& framed = *frames.find("slides")->array();
    ASSERT_EQ(framed.size(), 4u);  // 1680 px of board in frames 780 x 438.75 high
    EXPECT_EQ(framed[0].array()->size(), 3u);
    EXPECT_EQ(framed[3].array()->size(), 2u);
}

TEST_F(OfficeExport, AnEmptyBoardExportsNothing) {
    shell.eval(
        "board.load({items: []}); window.__sent.length = 0; __menuAction('export:pptx'); "
        "__menuAction('export:docx')");
    EXPECT_EQ(shell.eval("String(window.__sent.length)"), "0");
}

// Run by the LibreOffice-labelled test: LibreOffice opens every format and prints it as a PDF.
TEST_F(OfficeExport, LibreOfficeConvertsEveryFormat) {
    if (!g_getenv("TAVRIK_LIBREOFFICE")) GTEST_SKIP() << "run by the libreoffice-labelled test";
    testsupport::TempDir profile;
    g_autofree char* profileUri = g_filename_to_uri(profile.path().c_str(), nullptr, nullptr);
    struct Case {
        std::string command, ext;
        int pages;
    } cases[] = {
        {"export:pptx:1", "pptx", 4}, {"export:docx", "docx", 2}, {"export:odp:1", "odp", 4}, {"export:odt", "odt", 2}};
    for (const auto& c : cases) {
        std::string name = exportTo(c.command, c.ext);
        std::string env = std::string("-env:UserInstallation=") + profileUri;
        std::string file = dir.file(name);
        const char* argv[] = {"soffice",  env.c_str(),        "--headless", "--convert-to", "pdf",
                              "--outdir", dir.path().c_str(), file.c_str(), nullptr};
        int status = 0;
        g_autofree char* err = nullptr;
        ASSERT_TRUE(g_spawn_sync(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                                 nullptr, &err, &status, nullptr));
        ASSERT_TRUE(g_spawn_check_wait_status(status, nullptr)) << err;
        std::string pdf = dir.file(name.substr(0, name.rfind('.')) + ".pdf");
        const char* info[] = {"pdfinfo", pdf.c_str(), nullptr};
        g_autofree char* out = nullptr;
        ASSERT_TRUE(g_spawn_sync(nullptr, const_cast<char**>(info), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                                 &out, nullptr, &status, nullptr));
        ASSERT_TRUE(out);
        g_autofree char* pattern = g_strdup_printf("(^|\\n)Pages:\\s+%d\\n", c.pages);
        EXPECT_TRUE(g_regex_match_simple(pattern, out, GRegexCompileFlags(0), GRegexMatchFlags(0))) << c.ext << ":\n"
                                                                                                    << out;
    }
}

}  // namespace
