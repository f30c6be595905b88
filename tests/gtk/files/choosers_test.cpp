// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "common/json.h"
#include "support/chooser_probe.h"
#include "support/file_text.h"
#include "support/gtk_support.h"

using testsupport::runUntil;

namespace {

using testsupport::slurp;

const char* kPage = R"(<!doctype html><meta charset="utf-8"><title>files</title><script>
window.got = null;
window.__restoreNative = function (text) { window.got = text; };
function post(m) { window.webkit.messageHandlers.canvasBridge.postMessage(m); }
</script>)";

// One application per process: GTK does not take a second one's windows after the first.
class Choosers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { shell_ = new testsupport::Shell(kPage); }
    static void TearDownTestSuite() {
        delete shell_;
        shell_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(shell_->waitLoaded()); }
    static testsupport::Shell* shell_;
};
testsupport::Shell* Choosers::shell_ = nullptr;

}  // namespace

TEST_F(Choosers, SaveChooserIsAModalChildOfTheMainWindowAndWritesTheChosenFile) {
    testsupport::Shell& shell = *shell_;
    testsupport::TempDir dir;
    shell.eval(R"(post({action: 'saveJSON', json: '{"title":"画布"}'}))");
    GtkWindow* chooser = nullptr;
    ASSERT_TRUE(runUntil([&] { return (chooser = chooserprobe::find()) != nullptr; }));

    EXPECT_TRUE(gtk_window_get_modal(chooser));
    EXPECT_EQ(gtk_window_get_transient_for(chooser), shell.window());
    GtkFileChooser* fc = GTK_FILE_CHOOSER(chooser);
    EXPECT_EQ(gtk_file_chooser_get_action(fc), GTK_FILE_CHOOSER_ACTION_SAVE);
    g_autofree char* name = gtk_file_chooser_get_current_name(fc);
    ASSERT_TRUE(name);
    EXPECT_TRUE(std::regex_match(name, std::regex("TAVRIK-\\d{8}-\\d{4}\\.json"))) << name;
    GtkFileFilter* filter = gtk_file_chooser_get_filter(fc);
    ASSERT_TRUE(filter);
    // The filter admits JSON documents by type and by name, and nothing else.
    GFileInfo* json = g_file_info_new();
    g_file_info_set_display_name(json, "x.json");
    g_file_info_set_content_type(json, "application/json");
    GFileInfo* png = g_file_info_new();
    g_file_info_set_display_name(png, "x.png");
    g_file_info_set_content_type(png, "image/png");
    EXPECT_TRUE(gtk_filter_match(GTK_FILTER(filter), json));
    EXPECT_FALSE(gtk_filter_match(GTK_FILTER(filter), png));
    g_object_unref(json);
    g_object_unref(png);

    // The chooser loads its first folder asynchronously and may switch to it after we chose ours:
    // choose, let it settle, and choose again until the choice sticks.
    g_autoptr(GFile) target = g_file_new_for_path(dir.file("saved.json").c_str());
    auto chosen = [&] {
        g_autoptr(GFile) f = gtk_file_chooser_get_file(fc);
        return f && g_file_equal(f, target);
    };
    bool settled = false;
    for (int attempt = 0; attempt < 10 && !settled; ++attempt) {
        g_autoptr(GFile) folder = g_file_new_for_path(dir.path().c_str());
        gtk_file_chooser_set_current_folder(fc, folder, nullptr);
        gtk_file_chooser_set_current_name(fc, "saved.json");
        runUntil(chosen, std::chrono::seconds(5));
        runUntil([] { return !g_main_context_pending(nullptr); }, std::chrono::seconds(2));
        settled = chosen();
    }
    ASSERT_TRUE(settled);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
    G_GNUC_END_IGNORE_DEPRECATIONS
    ASSERT_TRUE(runUntil([&] { return slurp(dir.file("saved.json")) == R"({"title":"画布"})"; }))
        << "chooser still open: " << (chooserprobe::find() != nullptr)
        << ", exists: " << std::filesystem::exists(dir.file("saved.json"))
        << ", content: " << slurp(dir.file("saved.json"));
    EXPECT_TRUE(runUntil([] { return chooserprobe::find() == nullptr; }));
}

TEST_F(Choosers, OpenedDocumentReachesARealPageIntact) {
    testsupport::Shell& shell = *shell_;
    testsupport::TempDir dir;
    const std::string doc = "{\"t\":\"say \\\"hi\\\" \\\\ back\",\n\t\"u\":\"中文 ' </script> \\u2028\"}\r\n";
    dir.write("board.json", doc);

    shell.eval("post({action: 'openJSON'})");
    GtkWindow* chooser = nullptr;
    ASSERT_TRUE(runUntil([&] { return (chooser = chooserprobe::find()) != nullptr; }));
    EXPECT_TRUE(gtk_window_get_modal(chooser));
    EXPECT_EQ(gtk_window_get_transient_for(chooser), shell.window());
    GtkFileChooser* fc = GTK_FILE_CHOOSER(chooser);
    EXPECT_EQ(gtk_file_chooser_get_action(fc), GTK_FILE_CHOOSER_ACTION_OPEN);
    EXPECT_FALSE(gtk_file_chooser_get_select_multiple(fc));

    ASSERT_TRUE(chooserprobe::accept(chooser, dir.file("board.json")));
    ASSERT_TRUE(shell.waitFor("window.got !== null"));
    EXPECT_EQ(shell.eval("window.got"), doc);
    EXPECT_EQ(shell.eval("typeof window.got"), "string");
}
