// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end journeys: the whole application in-process with its own page, as a user goes
// through it. Save and open choosers are answered through the file exchange's panel seam, the
// quit alert by its dialog; servers listen on 127.0.0.1 only. A journey whose native part is
// missing from the wiring fails.
#include <cairo-pdf.h>
#include <gtest/gtest.h>
#include <poppler.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "chat_server.h"
#include "common/base64.h"
#include "common/bytes.h"
#include "common/json.h"
#include "files/file_exchange.h"
#include "files/panels.h"
#include "support/gtk_support.h"
#include "support/real_page.h"

namespace {
namespace fs = std::filesystem;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Choosers that answer with the paths the test gives, one per chooser, later on the main loop.
class AnsweringPanels final : public files::Panels {
public:
    std::deque<std::string> paths;
    int shown = 0;
    bool save(const files::SaveChooser&, files::PanelAnswer answer) override { return next(std::move(answer)); }
    bool open(const files::OpenChooser&, files::PanelAnswer answer) override { return next(std::move(answer)); }

private:
    bool next(files::PanelAnswer answer) {
        ++shown;
        std::optional<std::string> path;
        if (!paths.empty()) {
            path = paths.front();
            paths.pop_front();
        }
        auto* task = new std::function<void()>([answer = std::move(answer), path] { answer(path); });
        g_idle_add_full(
            G_PRIORITY_DEFAULT_IDLE,
            [](gpointer t) noexcept -> gboolean {
                (*static_cast<std::function<void()>*>(t))();
                return G_SOURCE_REMOVE;
            },
            task, [](gpointer t) noexcept { delete static_cast<std::function<void()>*>(t); });
        return true;
    }
};

class Journey : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testsupport::loadRealPage(shell)) << "the page in html/ did not load";
        js("board.load({items: []}); __setLang('zh-Hans'); true");
    }
    std::string js(const std::string& script) { return shell.eval(script).value_or("<error>"); }
    bool waitFor(const std::string& script) { return shell.waitFor(script); }
    app::AppDelegate& app() { return shell.app(); }

    // Puts a file exchange with answering choosers in place of the one behind real dialogs.
    std::shared_ptr<AnsweringPanels> answerPanels() {
        EXPECT_TRUE(app().bridge()->commands().has("saveJSON")) << "no file exchange is wired";
        auto panels = std::make_shared<AnsweringPanels>();
        app().useFilePanels(panels);
        return panels;
    }

    // The PDF render helper is built beside the application, not beside this test.
    struct RenderHelper {
        RenderHelper() {
            std::string beside = fs::path(TAVRIK_BINARY).parent_path() / "tavrik-render";
            if (!std::getenv("TAVRIK_RENDER_HELPER") && fs::exists(beside))
                setenv("TAVRIK_RENDER_HELPER", beside.c_str(), 1);
        }
    } renderHelper;
    testsupport::Shell shell{""};
    testsupport::TempDir out;
};

TEST_F(Journey, AddANoteSaveItAndOpenItAgain) {
    auto panels = answerPanels();
    std::string path = out.file("board.json");
    panels->paths = {path, path};

    js("document.getElementById('btn-note').click(); true");
    js("const n = board.doc().items[0]; board.load({items: [{...n, text: '旅行计划 trip plan'}]}); "
       "board.addNote('second'); true");
    ASSERT_EQ(js("String(__quitHasContentU())"), "true");
    js("document.getElementById('btn-save').click(); true");
    ASSERT_TRUE(testsupport::runUntil([&] { return fs::exists(path) && fs::file_size(path) > 0; }));
    EXPECT_NE(readFile(path).find("旅行计划 trip plan"), std::string::npos);
    EXPECT_TRUE(waitFor("__quitHasContentU() === false")) << "saved once the shell reports the file written";

    js("board.load({items: []}); document.getElementById('btn-open').click(); true");
    ASSERT_TRUE(waitFor("board.doc().items.some((i) => i.text === '旅行计划 trip plan')"));
    EXPECT_EQ(js("String(board.doc().items.length)"), "2");
    EXPECT_EQ(js("document.querySelector('#world .note .text').textContent"), "旅行计划 trip plan");
}

TEST_F(Journey, DropAPngAndExportATwoPagePdf) {
    auto panels = answerPanels();
    std::string pdfPath = out.file("pages.pdf");
    panels->paths = {pdfPath};

    // A real PNG file, delivered as the drop target delivers an image dragged onto the window.
    g_autoptr(GdkPixbuf) pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 300, 200);
    gdk_pixbuf_fill(pixbuf, 0x2f7fd0ff);
    ASSERT_TRUE(gdk_pixbuf_save(pixbuf, out.file("dropped.png").c_str(), "png", nullptr, nullptr));
    std::string png = readFile(out.file("dropped.png"));
    json::Object record{{"kind", "file"},
                        {"name", "dropped.png"},
                        {"mime", "image/png"},
                        {"dataUrl", "data:image/png;base64," + common::base64::encode(common::toBytes(png))}};
    app().bridge()->sendToPage(json::Array{json::Value(record)});
    ASSERT_TRUE(waitFor("board.doc().items.some((i) => i.type === 'image' && i.name === 'dropped.png')"));

    // Something further down the board makes the export two A4-proportioned pages.
    js("const im = board.doc().items[0]; board.addNote('page two', im.x, im.y + 1100); true");
    js("board.exportPDFPages(); true");
    ASSERT_TRUE(testsupport::runUntil([&] { return fs::exists(pdfPath) && fs::file_size(pdfPath) > 0; }));
    // The writer works in the background; wait until poppler can read the whole file.
    PopplerDocument* doc = nullptr;
    g_autofree char* uri = g_filename_to_uri(pdfPath.c_str(), nullptr, nullptr);
    ASSERT_TRUE(testsupport::runUntil([&] { return (doc = poppler_document_new_from_file(uri, nullptr, nullptr)); }));
    ASSERT_EQ(poppler_document_get_n_pages(doc), 2);
    for (int i = 0; i < 2; ++i) {
        PopplerPage* page = poppler_document_get_page(doc, i);
        double w = 0, h = 0;
        poppler_page_get_size(page, &w, &h);
        EXPECT_NEAR(w, 595, 0.5) << "page " << i;
        EXPECT_NEAR(h / w, 1.41421356, 0.01) << "page " << i;
        g_object_unref(page);
    }
    g_object_unref(doc);
}

TEST_F(Journey, StoreAKeyAndAskTheLocalModel) {
    ASSERT_TRUE(app().bridge()->commands().has("vaultSet")) << "no vault is wired";
    ASSERT_TRUE(app().bridge()->commands().has("netRequest")) << "no request proxy is wired";
    journey::ChatServer server("sk-journey-0123456789", "Sunrise in the Hills");

    // Stored while the panel names the local server: the key is meant for it, and goes there unasked.
    js("document.getElementById('ai-url').value = '" + server.url() +
       "';"
       "document.getElementById('ai-key-id').value = 'journey-key';"
       "document.getElementById('ai-key-value').value = 'sk-journey-0123456789';"
       "document.querySelector('#key-form button').click(); true");
    // The stored key shows up in the list with its hint, never with its value.
    ASSERT_TRUE(
        waitFor("[...document.querySelectorAll('#keys-list li')].some((li) => li.dataset.keyId === "
                "'journey-key' && li.querySelector('.key-hint').textContent.endsWith('6789'))"));
    EXPECT_EQ(js("String(document.body.innerHTML.includes('0123456789'))"), "false");

    js("document.getElementById('ai-url').value = '" + server.url() +
       "';"
       "document.getElementById('ai-model').value = 'local-model';"
       "document.getElementById('ai-prompt').value = 'Name this board';"
       "document.getElementById('ai-send').click(); true");
    ASSERT_TRUE(waitFor("board.aiReply() === 'Sunrise in the Hills'")) << js("board.aiReply()");
    EXPECT_EQ(server.authorised(), 1);
    EXPECT_NE(server.lastBody().find("Name this board"), std::string::npos);

    // A key the server does not accept: the refusal is shown, not swallowed.
    js("document.getElementById('ai-key-id').value = 'no-such-key'; document.getElementById('ai-send').click(); true");
    ASSERT_TRUE(waitFor("board.aiReply().startsWith('HTTP 401')"));
    EXPECT_NE(js("board.aiReply()").find("invalid api key"), std::string::npos);
    // Nothing listens on port 9 of loopback: a transfer failure is shown too.
    js("document.getElementById('ai-url').value = 'http://127.0.0.1:9/v1/chat/completions';"
       "document.getElementById('ai-send').click(); true");
    ASSERT_TRUE(
        waitFor("document.getElementById('ai-reply').classList.contains('error') && "
                "!board.aiReply().startsWith('HTTP')"));
}

// A PDF of `pages` pages, each carrying a noise image so that the file is large enough for the
// page to upload it in chunks.
void writeNoisyPdf(const std::string& path, int pages) {
    cairo_surface_t* pdf = cairo_pdf_surface_create(path.c_str(), 595, 842);
    cairo_t* cr = cairo_create(pdf);
    cairo_surface_t* noise = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 600, 500);
    unsigned char* px = cairo_image_surface_get_data(noise);
    uint32_t seed = 12345;
    for (int i = 0; i < cairo_image_surface_get_stride(noise) * 500; ++i)
        px[i] = (seed = seed * 1103515245 + 12345) >> 24;
    cairo_surface_mark_dirty(noise);
    for (int p = 0; p < pages; ++p) {
        cairo_set_source_surface(cr, noise, 0, p * 10);
        cairo_paint(cr);
        cairo_show_page(cr);
    }
    cairo_surface_destroy(noise);
    cairo_destroy(cr);
    cairo_surface_destroy(pdf);
}

TEST_F(Journey, ImportALargePdfTemplateAndSeeItsPages) {
    ASSERT_TRUE(app().bridge()->commands().has("renderPDF")) << "no PDF renderer is wired";
    auto panels = answerPanels();
    std::string path = out.file("template.pdf");
    writeNoisyPdf(path, 3);
    ASSERT_GT(fs::file_size(path), 512u * 1024 * 3 / 4) << "the upload should need several chunks";
    panels->paths = {path};
    testsupport::recordMessages(shell);

    js("__menuAction('importPaper'); true");
    ASSERT_TRUE(waitFor("board.doc().items.filter((i) => i.type === 'paper').length === 3"));
    EXPECT_EQ(js("String(window.__sent.filter((s) => s.includes('\"renderPDFChunk\"')).length > 1)"), "true");
    // The pages lie one under the other, each with the page's proportions (842 / 595).
    EXPECT_EQ(js("board.doc().items.map((i) => Math.round(i.h / i.w * 100)).join()"), "142,142,142");
    EXPECT_EQ(js("String(board.doc().items[0].y < board.doc().items[1].y && board.doc().items[1].y < "
                 "board.doc().items[2].y)"),
              "true");
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

TEST_F(Journey, SwitchTheLanguageAndSeeMenuAndPageChange) {
    GtkApplication* gtkApp = app().application();
    ASSERT_TRUE(gtk_application_get_menubar(gtkApp)) << "no menu bar is installed";
    ASSERT_TRUE(app().bridge()->commands().has("menuState")) << "no menu handlers are wired";

    // From the menu: English.
    g_action_group_activate_action(G_ACTION_GROUP(gtkApp), "tag-503", nullptr);
    ASSERT_TRUE(waitFor("document.getElementById('btn-note').textContent === 'Add note'"));
    ASSERT_TRUE(testsupport::runUntil([&] { return contains(testsupport::menuBarTitles(gtkApp), "File"); }));

    // From the page: back to Simplified Chinese, and the menu follows.
    js("const s = document.getElementById('lang-select'); s.value = 'zh-Hans'; s.dispatchEvent(new Event('change')); "
       "true");
    EXPECT_EQ(js("document.getElementById('btn-note').textContent"), "添加便签");
    EXPECT_TRUE(testsupport::runUntil([&] { return contains(testsupport::menuBarTitles(gtkApp), "文件"); }));
}

TEST_F(Journey, QuitWithUnsavedContentAndSave) {
    auto panels = answerPanels();
    std::string path = out.file("at-quit.json");
    panels->paths = {path};
    js("board.addNote('do not lose me'); true");

    app().requestQuit();
    // The alert asks; its first button saves.
    GtkWidget* alert = nullptr;
    ASSERT_TRUE(testsupport::runUntil([&] {
        GListModel* tops = gtk_window_get_toplevels();
        for (guint i = 0; i < g_list_model_get_n_items(tops) && !alert; ++i) {
            auto* w = static_cast<GtkWidget*>(g_list_model_get_item(tops, i));
            if (GTK_IS_MESSAGE_DIALOG(w) && gtk_widget_get_visible(w)) alert = w;
            g_object_unref(w);  // the toplevel list keeps it alive
        }
        return alert != nullptr;
    })) << "no quit alert";
    gtk_dialog_response(GTK_DIALOG(alert), 0);

    ASSERT_TRUE(testsupport::runUntil([&] { return fs::exists(path) && fs::file_size(path) > 0; }));
    EXPECT_NE(readFile(path).find("do not lose me"), std::string::npos);
}

}  // namespace
