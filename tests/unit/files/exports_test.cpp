// SPDX-License-Identifier: GPL-3.0-or-later
#include <poppler.h>
#include <sys/resource.h>

#include <csignal>
#include <regex>

#include "common/log.h"
#include "files/pdf_builder.h"
#include "files_fixture.h"
#include "support/gtk_support.h"

using namespace filestest;
namespace fs = std::filesystem;

namespace {

struct PdfPage {
    double width, height;
    std::uint32_t centre;  // the rendered colour at the page's centre, 0xRRGGBB
    std::uint32_t corner;  // and near its top left corner (the middle band of very tall pages)
};

// Reads a written PDF back with poppler: page sizes in points and what each page shows.
std::vector<PdfPage> readPdf(const std::string& path) {
    g_autofree char* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    PopplerDocument* doc = poppler_document_new_from_file(uri, nullptr, nullptr);
    if (!doc) return {};
    std::vector<PdfPage> pages;
    for (int i = 0; i < poppler_document_get_n_pages(doc); ++i) {
        PopplerPage* page = poppler_document_get_page(doc, i);
        PdfPage p{};
        poppler_page_get_size(page, &p.width, &p.height);
        // Render the middle at a small scale; tall pages are sampled around their centre.
        double scale = 20.0 / p.width;
        cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 20, 20);
        cairo_t* cr = cairo_create(img);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_translate(cr, 0, 10 - p.height * scale / 2);
        cairo_scale(cr, scale, scale);
        poppler_page_render(page, cr);
        cairo_destroy(cr);
        cairo_surface_flush(img);
        auto* px = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(img) +
                                                    10 * cairo_image_surface_get_stride(img));
        p.centre = px[10] & 0xFFFFFF;
        int top = std::max(0, static_cast<int>(10 - p.height * scale / 2) + 1);
        p.corner = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(img) +
                                                    top * cairo_image_surface_get_stride(img))[1] &
                   0xFFFFFF;
        cairo_surface_destroy(img);
        g_object_unref(page);
        pages.push_back(p);
    }
    g_object_unref(doc);
    return pages;
}

// A new file appears as it is written; the build has finished once the trailer is there.
bool pdfDone(const std::string& path) {
    std::string pdf = slurp(path);
    return pdf.size() > 6 && pdf.find("%%EOF", pdf.size() - 7) != std::string::npos;
}

bool near(std::uint32_t a, std::uint32_t b, int tolerance = 24) {
    for (int shift : {0, 8, 16})
        if (std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)) > tolerance) return false;
    return true;
}

}  // namespace

// The page call that reports a save that did not write: "<action> <reason>".
std::string notWritten(const std::string& what) {
    auto space = what.find(' ');
    return "window.__saveResult && window.__saveResult({\"action\":\"" + what.substr(0, space) +
           "\",\"ok\":false,\"name\":\"\",\"reason\":\"" + what.substr(space + 1) + "\"})";
}

TEST(Exports, FailuresAreSilentOrBeepAndOnlyAShownChooserReportsToThePage) {
    struct Case {
        const char* what;
        std::function<void(files::FileExchange&)> run;
        bool chooser;        // a chooser is expected
        const char* answer;  // a name in the test folder, or nullptr to cancel
        int beeps;
        bool hasWindow = true;
        const char* reported = nullptr;  // "<action> <reason>" told to the page, if anything
    };
    const std::string png = dataUrl(pngImage(4, 4));
    const std::string text = dataUrl(common::toBytes("not an image"));
    // A PNG whose header is sound and whose pixel data is damaged.
    const std::string damaged = [] {
        common::Bytes b = pngImage(300, 300, 0.3, 0.5, 0.7);
        std::string_view t = common::asText(b);
        std::size_t idat = t.find("IDAT");
        for (std::size_t i = idat + 6; i + 12 < b.size(); ++i) b[i] ^= 0x55;
        return dataUrl(b);
    }();
    std::vector<Case> cases = {
        {"saveText cancelled", [](auto& x) { x.saveText("{}", "a.json", "json"); }, true, nullptr, 0, true,
         "saveJSON cancelled"},
        {"saveText without a main window", [](auto& x) { x.saveText("{}", "a.json", "json"); }, false, nullptr, 0,
         false},
        {"openJSON without a main window", [](auto& x) { x.openJSONFile(); }, false, nullptr, 0, false},
        {"saveImage without payload", [](auto& x) { x.saveImage(",,,", "png"); }, false, nullptr, 0},
        {"saveImage payload with a line break", [](auto& x) { x.saveImage("data:image/png;base64,QUJD\nQUJD", "png"); },
         false, nullptr, 0},
        {"saveFile bad base64", [](auto& x) { x.saveFile("a.txt", "data:,QUJ"); }, false, nullptr, 0},
        {"savePDF of bytes that are no image", [&](auto& x) { x.savePDF(text); }, false, nullptr, 0},
        {"savePDFPages with no image at all",
         [&](auto& x) {
             x.savePDFPages({"x", ",", text}, "P");
         },
         false, nullptr, 1},
        {"savePDF cancelled", [&](auto& x) { x.savePDF(png); }, true, nullptr, 0, true, "savePDF cancelled"},
        {"saveText onto a folder", [](auto& x) { x.saveText("{}", "a.json", "json"); }, true, "folder", 1, true,
         "saveJSON failed"},
        {"saveImage into a missing folder", [&](auto& x) { x.saveImage(png, "png"); }, true, "missing/a.png", 1, true,
         "saveImage failed"},
        {"saveFile where a file stands for a folder", [](auto& x) { x.saveFile("a.txt", "data:,QUJD"); }, true,
         "plain/a.txt", 1, true, "saveFile failed"},
        {"savePDF onto a folder", [&](auto& x) { x.savePDF(png); }, true, "folder", 1, true, "savePDF failed"},
        // The header passes when the command arrives; the pixels fail when the page is drawn.
        {"savePDF of a damaged image", [&](auto& x) { x.savePDF(damaged); }, true, "out.pdf", 1, true,
         "savePDF failed"},
        {"savePDFPages of a damaged image", [&](auto& x) { x.savePDFPages({damaged}, "P"); }, true, "out.pdf", 1, true,
         "savePDFPages failed"},
        {"savePDFPages onto a folder", [&](auto& x) { x.savePDFPages({png}, "P"); }, true, "folder", 1, true,
         "savePDFPages failed"},
        // A name with a NUL would be shortened into another name: refused before any chooser.
        {"saveFile name with a NUL", [](auto& x) { x.saveFile(std::string("a\0.exe.txt", 10), "data:,QUJD"); }, false,
         nullptr, 1},
        {"savePDFPages name with a NUL", [&](auto& x) { x.savePDFPages({png}, std::string("P\0x", 3)); }, false,
         nullptr, 1},
        {"openFile name with a NUL", [](auto& x) { x.openFile(std::string("a\0.desktop", 10), "data:,QUJD"); }, false,
         nullptr, 1},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir dir;
        fs::create_directory(dir.file("folder"));
        spit(dir.file("folder/kept"), "kept");
        spit(dir.file("plain"), "plain");
        std::vector<std::string> warnings;
        common::log::setSink([&](common::log::Level level, std::string_view line) {
            if (level == common::log::Level::Warning) warnings.emplace_back(line);
        });
        Fixture f;
        f.panels->hasWindow = c.hasWindow;
        c.run(*f.exchange);
        ASSERT_EQ(f.panels->shown.size(), c.chooser ? 1u : 0u);
        if (c.chooser) f.panels->answerNext(c.answer ? std::optional(dir.file(c.answer)) : std::nullopt);
        // Writes and PDF builds run on a worker and beep from its completion; the rest beep (or
        // not) at once.
        EXPECT_TRUE(f.settle([&] { return f.desktop.beeps >= c.beeps && f.exchange->savesInProgress() == 0; }));
        f.flush();
        EXPECT_EQ(f.desktop.beeps, c.beeps);
        // Each beep leaves one line in the log that says why.
        EXPECT_EQ(warnings.size(), static_cast<std::size_t>(c.beeps));
        for (auto& w : warnings) EXPECT_NE(w.find(": "), std::string::npos) << w;
        common::log::setSink({});
        EXPECT_EQ(f.page->scripts,
                  c.reported ? std::vector<std::string>{notWritten(c.reported)} : std::vector<std::string>{});
        EXPECT_EQ(slurp(dir.file("folder/kept")), "kept");
        EXPECT_EQ(slurp(dir.file("plain")), "plain");
        std::size_t entries = std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator());
        EXPECT_EQ(entries, 2u) << "nothing else written";
    }
}

TEST(Exports, EverySaveTellsThePageWhatWasWrittenOnceTheFileIsThere) {
    struct Case {
        const char* action;
        std::function<void(files::FileExchange&)> run;
        const char* file;
    };
    const std::string png = dataUrl(pngImage(4, 4));
    // As a large upload arrives: the bytes the engine decoded.
    const json::Value decodedPng = json::EncodedString("data:image/png;base64,", pngImage(4, 4));
    const Case cases[] = {
        {"saveJSON", [](auto& x) { x.saveText("{}", "a.json", "json"); }, "板 1.json"},
        {"saveImage", [&](auto& x) { x.saveImage(png, "jpg"); }, "a.jpg"},
        {"saveImage", [&](auto& x) { x.saveImage(decodedPng, "png"); }, "b.png"},
        {"savePDF", [&](auto& x) { x.savePDF(png); }, "one.pdf"},
        {"savePDFPages",
         [&](auto& x) {
             x.savePDFPages({png, decodedPng}, "P");
         },
         "pages.pdf"},
        {"saveFile", [](auto& x) { x.saveFile("r.csv", "data:,QUJD"); }, "r.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        testsupport::TempDir dir;
        Fixture f;
        std::vector<files::SaveOutcome> observed;
        f.exchange->setSaveObserver([&](const files::SaveOutcome& o) {
            // The file is complete by the time anyone hears of it.
            EXPECT_GT(fs::file_size(dir.file(c.file)), 0u);
            observed.push_back(o);
        });
        c.run(*f.exchange);
        EXPECT_EQ(f.exchange->savesInProgress(), 1u);
        f.panels->answerNext(dir.file(c.file));
        ASSERT_TRUE(f.settle([&] { return !observed.empty(); }));
        f.flush();
        EXPECT_EQ(f.exchange->savesInProgress(), 0u);
        ASSERT_EQ(observed.size(), 1u);
        EXPECT_EQ(observed[0].action, c.action);
        EXPECT_TRUE(observed[0].ok());
        EXPECT_EQ(f.page->scripts,
                  std::vector<std::string>{"window.__saveResult && window.__saveResult({\"action\":\"" +
                                           std::string(c.action) + "\",\"ok\":true,\"name\":\"" + c.file +
                                           "\",\"reason\":\"written\"})"});
    }
}

TEST(Exports, SuggestedNamesAndAllowedTypes) {
    const std::string png = dataUrl(pngImage(4, 4));
    struct Case {
        std::function<void(files::FileExchange&)> run;
        bool save;
        const char* name;  // a pattern
        const char* ext;
    };
    std::vector<Case> cases = {
        {[](auto& x) { x.saveText("{}", "TAVRIK-20250305-1407.json", "json"); }, true, "TAVRIK-20250305-1407\\.json",
         "json"},
        {[&](auto& x) { x.saveImage(png, "jpg"); }, true, "TAVRIK-\\d{8}-\\d{4}\\.jpg", "jpg"},
        {[&](auto& x) { x.saveImage(png, "png"); }, true, "TAVRIK-\\d{8}-\\d{4}\\.png", "png"},
        {[&](auto& x) { x.savePDF(png); }, true, "TAVRIK-\\d{8}-\\d{4}\\.pdf", "pdf"},
        {[&](auto& x) { x.savePDFPages({png}, "TAVRIK-系列"); }, true, "TAVRIK-系列-\\d{8}-\\d{4}\\.pdf", "pdf"},
        {[&](auto& x) { x.savePDFPages({png}, "Board"); }, true, "Board-\\d{8}-\\d{4}\\.pdf", "pdf"},
        {[](auto& x) { x.saveFile("report.final.csv", "data:,QUJD"); }, true, "report\\.final\\.csv", "csv"},
        {[](auto& x) { x.saveFile("README", "data:,QUJD"); }, true, "README", ""},
        {[](auto& x) { x.saveFile(".bashrc", "data:,QUJD"); }, true, "\\.bashrc", ""},
        {[](auto& x) { x.saveFile("v1.2/notes", "data:,QUJD"); }, true, "v1\\.2/notes", ""},
        {[](auto& x) { x.openJSONFile(); }, false, "", "json"},
        {[](auto& x) { x.openPaperPDF(); }, false, "", "pdf"},
    };
    for (auto& c : cases) {
        Fixture f;
        c.run(*f.exchange);
        ASSERT_EQ(f.panels->shown.size(), 1u) << c.name;
        auto& shown = f.panels->shown.front();
        EXPECT_EQ(shown.save, c.save) << c.name;
        EXPECT_TRUE(std::regex_match(shown.suggestedName, std::regex(c.name))) << shown.suggestedName;
        EXPECT_EQ(shown.allowedExtension, c.ext) << c.name;
    }
}

TEST(Exports, WritesExactlyWhatThePageSentReplacingAnOldFile) {
    testsupport::TempDir dir;
    Fixture f;
    common::Bytes all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<std::uint8_t>(i));
    const common::Bytes png = pngImage(3, 3);
    struct Case {
        std::function<void(files::FileExchange&)> run;
        std::string expected;
    };
    std::vector<Case> cases = {
        {[](auto& x) { x.saveText("{\"t\":\"中文 \\\"q\\\"\"}\n", "n", "json"); }, "{\"t\":\"中文 \\\"q\\\"\"}\n"},
        // PNG bytes under a .jpg name stay PNG bytes: nothing is converted.
        {[&](auto& x) { x.saveImage(dataUrl(png), "jpg"); }, std::string(common::asText(png))},
        {[&](auto& x) { x.saveFile("all.bin", "data:x,y," + common::base64::encode(all)); },
         std::string(common::asText(all))},
    };
    spit(dir.file("target"), "an old file that is longer than what replaces it");
    fs::create_symlink("target", dir.file("link"));
    int i = 0;
    for (auto& c : cases) {
        c.run(*f.exchange);
        // Through a link, the file it points to is replaced and the link stays.
        f.panels->answerNext(dir.file(i++ % 2 ? "link" : "target"));
        ASSERT_TRUE(f.saved());
        EXPECT_EQ(slurp(dir.file("target")), c.expected);
        EXPECT_TRUE(fs::is_symlink(dir.file("link")));
    }
    EXPECT_EQ(f.desktop.beeps, 0);
    f.flush();
    ASSERT_EQ(f.page->scripts.size(), cases.size());
    for (auto& report : f.page->scripts) EXPECT_NE(report.find("\"reason\":\"written\""), std::string::npos);
}

// Running as root, permissions do not stop a write; a file-size limit does, as a full disk would.
TEST(Exports, AFailedWriteBeepsAndLeavesTheOldFileIntact) {
    testsupport::TempDir dir;
    const std::string old = "the document that was there before";
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1024;

    Fixture f;
    std::string big(100'000, 'x');
    const std::string photo = dataUrl(jpegImage(64, 64));
    std::vector<std::function<void(files::FileExchange&)>> writes = {
        [&](auto& x) { x.saveText(big, "n", "json"); },
        [&](auto& x) { x.saveFile("a.bin", "data:," + common::base64::encode(common::toBytes(big))); },
        [&](auto& x) {
            x.savePDFPages({photo, photo, photo}, "P");
        },
    };
    int expectedBeeps = 0;
    spit(dir.file("doc"), old);
    fs::create_symlink("doc", dir.file("link"));
    for (auto& write : writes) {
        // Over an old file, through a link to it, and to a new name (where nothing half-written
        // may stay behind).
        for (const char* target : {"doc", "link", "new"}) {
            write(*f.exchange);
            setrlimit(RLIMIT_FSIZE, &small);
            f.panels->answerNext(dir.file(target));
            ++expectedBeeps;
            EXPECT_TRUE(f.settle([&] { return f.desktop.beeps >= expectedBeeps; }));
            setrlimit(RLIMIT_FSIZE, &saved);
            EXPECT_EQ(slurp(dir.file("doc")), old);
            std::size_t entries = std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator());
            EXPECT_EQ(entries, 2u) << target << ": no temporary or partial file left behind";
            EXPECT_TRUE(fs::is_symlink(dir.file("link")));
        }
    }
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(f.desktop.beeps, 9);
}

TEST(Exports, PdfPagesAre595WideInOrderAndSkipWhatIsNoImage) {
    testsupport::TempDir dir;
    Fixture f;
    f.exchange->savePDFPages({dataUrl(pngImage(1000, 500, 1, 0, 0)), "data:image/png;base64,bm90IGFuIGltYWdl",
                              dataUrl(pngImage(400, 800, 0, 0, 1))},
                             "TAVRIK-系列");
    f.panels->answerNext(dir.file("pages.pdf"));
    ASSERT_TRUE(f.settle([&] { return pdfDone(dir.file("pages.pdf")); }));
    auto pages = readPdf(dir.file("pages.pdf"));
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_DOUBLE_EQ(pages[0].width, 595);
    EXPECT_DOUBLE_EQ(pages[0].height, 297.5);
    EXPECT_TRUE(near(pages[0].centre, 0xFF0000)) << std::hex << pages[0].centre;
    EXPECT_TRUE(near(pages[0].corner, 0xFF0000)) << std::hex << pages[0].corner;
    EXPECT_DOUBLE_EQ(pages[1].width, 595);
    EXPECT_DOUBLE_EQ(pages[1].height, 1190);
    EXPECT_TRUE(near(pages[1].centre, 0x0000FF)) << std::hex << pages[1].centre;
    EXPECT_TRUE(near(pages[1].corner, 0x0000FF)) << std::hex << pages[1].corner;
    EXPECT_EQ(f.desktop.beeps, 0);

    // One image: one page exactly its size.
    f.exchange->savePDF(dataUrl(pngImage(300, 200, 0, 1, 0)));
    f.panels->answerNext(dir.file("one.pdf"));
    ASSERT_TRUE(f.settle([&] { return pdfDone(dir.file("one.pdf")); }));
    pages = readPdf(dir.file("one.pdf"));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_DOUBLE_EQ(pages[0].width, 300);
    EXPECT_DOUBLE_EQ(pages[0].height, 200);
    EXPECT_TRUE(near(pages[0].centre, 0x00FF00)) << std::hex << pages[0].centre;
    EXPECT_TRUE(near(pages[0].corner, 0x00FF00)) << std::hex << pages[0].corner;

    for (auto [w, h, pw, ph] : {std::tuple{1000, 500, 595.0, 297.5}, {0, 500, 595.0, 297500.0}, {500, 0, 595.0, 1.19}})
        EXPECT_DOUBLE_EQ(files::pageBoxFor(files::PageLayout::A4Width, w, h).height, ph) << w << "x" << h;
}

TEST(Exports, JpegPagesAreEmbeddedAsTheyAre) {
    testsupport::TempDir dir;
    Fixture f;
    const common::Bytes photo = jpegImage(640, 480, 0x2060c0ff);
    const common::Bytes grey = [] {
        GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 50, 50);
        gdk_pixbuf_fill(pb, 0x808080ff);
        gchar* buf = nullptr;
        gsize len = 0;
        gdk_pixbuf_save_to_buffer(pb, &buf, &len, "png", nullptr, nullptr);
        common::Bytes out(buf, buf + len);
        g_free(buf);
        g_object_unref(pb);
        return out;
    }();
    f.exchange->savePDFPages({dataUrl(photo, "image/jpeg"), dataUrl(grey)}, "P");
    f.panels->answerNext(dir.file("photo.pdf"));
    ASSERT_TRUE(f.settle([&] { return pdfDone(dir.file("photo.pdf")); }));
    std::string pdf = slurp(dir.file("photo.pdf"));
    std::string jpeg(common::asText(photo));
    EXPECT_NE(pdf.find(jpeg), std::string::npos) << "the JPEG's bytes appear unchanged";
    EXPECT_NE(pdf.find("/DCTDecode"), std::string::npos);
    auto pages = readPdf(dir.file("photo.pdf"));
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_DOUBLE_EQ(pages[0].width, 595);
    EXPECT_DOUBLE_EQ(pages[0].height, 446.25);
    EXPECT_TRUE(near(pages[0].centre, 0x2060C0)) << std::hex << pages[0].centre;
    EXPECT_TRUE(near(pages[0].corner, 0x2060C0)) << std::hex << pages[0].corner;
    EXPECT_TRUE(near(pages[1].centre, 0x808080)) << std::hex << pages[1].centre;
    EXPECT_TRUE(near(pages[1].corner, 0x808080)) << std::hex << pages[1].corner;

    // The frame header parser that decides what is embedded.
    auto frame = files::jpegFrame(photo);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width, 640);
    EXPECT_EQ(frame->height, 480);
    EXPECT_EQ(frame->components, 3);
    EXPECT_FALSE(files::jpegFrame(grey));
    EXPECT_FALSE(files::jpegFrame(common::Bytes(photo.begin(), photo.begin() + 20)));
}

TEST(Exports, AnswerAfterTheExchangeIsGoneIsDropped) {
    testsupport::TempDir dir;
    Fixture f;
    f.exchange->saveText("{}", "a.json", "json");
    f.exchange.reset();
    f.panels->answerNext(dir.file("late.json"));
    f.flush();
    EXPECT_FALSE(fs::exists(dir.file("late.json")));
    EXPECT_EQ(f.desktop.beeps, 0);
}

TEST(Exports, QuittingWaitsForASaveUntilItsFileIsWritten) {
    testsupport::TempDir dir;
    Fixture f;
    int quits = 0;
    auto holds = std::make_shared<common::QuitHolds>([&] { ++quits; });
    f.exchange->setQuitHold([&] { return holds->hold(); });

    // "Save, then quit": the chooser is open when the quit arrives; the quit waits for it.
    f.exchange->saveText("{}", "doc.json", "json");
    holds->requestQuit();
    EXPECT_EQ(quits, 0);
    f.panels->answerNext(dir.file("doc.json"));
    EXPECT_EQ(quits, 0);  // until the worker has written it
    ASSERT_TRUE(f.settle([&] { return quits == 1; }));
    EXPECT_EQ(slurp(dir.file("doc.json")), "{}");

    // A PDF holds the quit until the worker has written it.
    f.exchange->savePDF(dataUrl(pngImage(40, 30)));
    holds->requestQuit();
    f.panels->answerNext(dir.file("one.pdf"));
    EXPECT_EQ(quits, 1);
    ASSERT_TRUE(f.settle([&] { return quits == 2; }));
    EXPECT_TRUE(pdfDone(dir.file("one.pdf")));

    // Cancelling the chooser lets the quit go on; nothing held means at once.
    f.exchange->saveText("{}", "doc.json", "json");
    holds->requestQuit();
    f.panels->answerNext(std::nullopt);
    EXPECT_EQ(quits, 3);
    holds->requestQuit();
    EXPECT_EQ(quits, 4);
}

// Writes run on the workers; two saves of one file land in the order they were asked for, even
// when the first is far bigger (a later, smaller save overtaken by an earlier one would lose it).
TEST(Exports, SavesOfOneFileAreWrittenInTheOrderAsked) {
    testsupport::TempDir dir;
    Fixture f;
    auto doc = std::make_shared<files::DocumentFile>();
    f.exchange->setDocument(doc);
    std::vector<std::string> reported;
    f.exchange->setSaveObserver([&](const files::SaveOutcome&) { reported.push_back(slurp(dir.file("b.json"))); });
    const std::string big(32 << 20, 'x');
    doc->set(dir.file("b.json"));  // saved in place, with no chooser
    f.exchange->saveBoard(big, bridge::BoardTarget::Document);
    f.exchange->saveBoard("{\"v\":2}", bridge::BoardTarget::Document);
    f.exchange->saveBoard("{\"v\":3}", bridge::BoardTarget::Document);
    EXPECT_TRUE(f.panels->shown.empty());
    ASSERT_TRUE(f.saved());
    EXPECT_EQ(slurp(dir.file("b.json")), "{\"v\":3}");
    ASSERT_EQ(reported.size(), 3u);
    EXPECT_EQ(reported[0].size(), big.size());  // each outcome is told once its own file is there
    EXPECT_EQ(reported[1], "{\"v\":2}");
    EXPECT_EQ(reported[2], "{\"v\":3}");
}
