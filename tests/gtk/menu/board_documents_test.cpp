// SPDX-License-Identifier: GPL-3.0-or-later
// Boards as documents, through the File menu with the application's own page and real choosers:
// Save As proposes the board's own name and folder, New asks over unsaved work and then gives an
// empty untitled board, and Open Recent lists a board saved a moment ago and opens it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "gtk/webpolicy/alert_probe.h"
#include "menu/l10n.h"
#include "menu/menu_model.h"
#include "support/chooser_probe.h"
#include "support/file_text.h"
#include "support/gtk_support.h"
#include "support/real_page.h"

namespace {

using testsupport::slurp;

void choose(testsupport::Shell& shell, int tag) {
    const std::string action = "tag-" + std::to_string(tag);
    g_action_group_activate_action(G_ACTION_GROUP(shell.app().application()), action.c_str(), nullptr);
}

// The item of the installed menu bar shown as `label`, searched depth first: the model holding it
// and its index.
bool findItem(GMenuModel* model, const std::string& label, GMenuModel** holder, int* index) {
    for (int i = 0; i < g_menu_model_get_n_items(model); ++i) {
        g_autofree char* shown = nullptr;
        if (g_menu_model_get_item_attribute(model, i, "label", "s", &shown) && label == shown) {
            *holder = model;
            *index = i;
            return true;
        }
        for (const char* link : {G_MENU_LINK_SUBMENU, G_MENU_LINK_SECTION}) {
            g_autoptr(GMenuModel) sub = g_menu_model_get_item_link(model, i, link);
            if (sub && findItem(sub, label, holder, index)) return true;
        }
    }
    return false;
}

// The labels of a model's items, sections included, in order.
void collectLabels(GMenuModel* model, std::vector<std::string>& out) {
    for (int i = 0; i < g_menu_model_get_n_items(model); ++i) {
        g_autofree char* shown = nullptr;
        if (g_menu_model_get_item_attribute(model, i, "label", "s", &shown)) out.emplace_back(shown);
        g_autoptr(GMenuModel) section = g_menu_model_get_item_link(model, i, G_MENU_LINK_SECTION);
        if (section) collectLabels(section, out);
    }
}

// What File ▸ Open Recent shows now.
std::vector<std::string> openRecentItems(testsupport::Shell& shell) {
    std::vector<std::string> labels;
    GMenuModel* bar = gtk_application_get_menubar(shell.app().application());
    GMenuModel* holder = nullptr;
    int index = 0;
    if (!bar || !findItem(bar, menu::L10N::t("打开最近使用"), &holder, &index)) return labels;
    g_autoptr(GMenuModel) sub = g_menu_model_get_item_link(holder, index, G_MENU_LINK_SUBMENU);
    if (sub) collectLabels(sub, labels);
    return labels;
}

std::string folderOf(GtkWindow* chooser) {
    g_autoptr(GFile) folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
    g_autofree char* path = folder ? g_file_get_path(folder) : nullptr;
    return path ? path : "";
}

class BoardDocuments : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        docs.write("plan.json", R"({"format":"tavrik-board","version":1,"items":[
            {"type":"note","x":0,"y":0,"w":100,"h":50,"text":"from the file"}]})");
    }
    std::string texts() { return shell.eval("board.doc().items.map((i) => i.text).join()").value_or("?"); }
    // Opens docs/plan.json as the file manager would hand it over.
    void openPlan() {
        shell.app().open({docs.file("plan.json")});
        ASSERT_TRUE(
            shell.waitFor("board.doc().items.map((i) => i.text).join() === 'from the file' && !board.isDirty()"))
            << texts();
    }

    testsupport::Shell shell{""};
    testsupport::TempDir docs;
};

TEST_F(BoardDocuments, SaveAsProposesTheBoardsNameAndFolderAndSaveThenWritesTheNewFile) {
    openPlan();
    shell.eval("board.addNote('edit'); 0");
    choose(shell, menu::kSaveAsTag);
    GtkWindow* chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(chooser)), GTK_FILE_CHOOSER_ACTION_SAVE);
    g_autofree char* name = gtk_file_chooser_get_current_name(GTK_FILE_CHOOSER(chooser));
    G_GNUC_END_IGNORE_DEPRECATIONS
    EXPECT_STREQ(name, "plan.json");
    EXPECT_TRUE(testsupport::runUntil([&] { return folderOf(chooser) == docs.path(); })) << folderOf(chooser);

    testsupport::TempDir elsewhere;
    ASSERT_TRUE(chooserprobe::accept(chooser, elsewhere.file("copy.json")));
    ASSERT_TRUE(shell.waitFor("!board.isDirty()"));
    EXPECT_EQ(shell.eval("$('toast').textContent"), shell.eval("board.t('savedAs').replace('{name}', 'copy.json')"));
    EXPECT_NE(slurp(elsewhere.file("copy.json")).find("\"edit\""), std::string::npos);
    EXPECT_EQ(slurp(docs.file("plan.json")).find("\"edit\""), std::string::npos) << "the original stays as it was";

    // The copy is the board's file now: Save writes it in place, with no chooser, and says "Saved".
    shell.eval("board.addNote('second'); 0");
    choose(shell, 0);
    bool chooserShown = false;
    ASSERT_TRUE(testsupport::runUntil([&] {
        chooserShown = chooserShown || chooserprobe::find() != nullptr;
        return chooserShown || slurp(elsewhere.file("copy.json")).find("second") != std::string::npos;
    }));
    EXPECT_FALSE(chooserShown);
    ASSERT_TRUE(shell.waitFor("!board.isDirty()"));
    EXPECT_EQ(shell.eval("$('toast').textContent"), shell.eval("board.t('savedInPlace')"));
}

TEST_F(BoardDocuments, NewAsksOverUnsavedWorkThenGivesAnEmptyUntitledBoard) {
    openPlan();
    auto askNew = [&]() -> GtkDialog* {
        choose(shell, menu::kNewTag);
        GtkDialog* alert = alertprobe::waitFor();
        if (alert) {
            EXPECT_EQ(alertprobe::text(alert), menu::L10N::t("新建前保存画布？"));
        }
        return alert;
    };

    // Cancel: the board as it was, still unsaved.
    shell.eval("board.addNote('keep me'); 0");
    GtkDialog* alert = askNew();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 2);
    ASSERT_TRUE(alertprobe::waitGone());
    EXPECT_EQ(texts(), "from the file,keep me");
    EXPECT_EQ(shell.eval("String(board.isDirty())"), "true");

    // Save: written into its own file, then the new board.
    alert = askNew();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 0);
    ASSERT_TRUE(shell.waitFor("board.doc().items.length === 0")) << texts();
    EXPECT_NE(slurp(docs.file("plan.json")).find("keep me"), std::string::npos);
    EXPECT_EQ(shell.eval("String(board.isDirty())"), "false");
    EXPECT_EQ(gtk_window_get_title(shell.window()), "TAVRIK — " + *shell.eval("board.t('untitled')"));

    // Don't Save: the work is let go, and the file is untouched.
    shell.eval("board.addNote('drop me'); 0");
    alert = askNew();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 1);
    ASSERT_TRUE(shell.waitFor("board.doc().items.length === 0")) << texts();
    EXPECT_EQ(slurp(docs.file("plan.json")).find("drop me"), std::string::npos);

    // The new board has no file: its first Save asks where.
    shell.eval("board.addNote('fresh'); 0");
    choose(shell, 0);
    GtkWindow* chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    chooserprobe::cancel(chooser);
    ASSERT_TRUE(testsupport::runUntil([] { return chooserprobe::find() == nullptr; }));

    // Nothing unsaved: no question, at once a new board.
    shell.eval("board.load({items: []}); 0");
    choose(shell, menu::kNewTag);
    EXPECT_FALSE(testsupport::runUntil([] { return alertprobe::find() != nullptr; }, std::chrono::milliseconds(500)));
}

TEST_F(BoardDocuments, OpenRecentListsABoardSavedAMomentAgoAndOpensIt) {
    testsupport::TempDir saved;
    shell.eval("board.addNote('remember me'); 0");
    choose(shell, 0);  // a board with no file yet: the chooser
    GtkWindow* chooser = chooserprobe::waitFor();
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(chooserprobe::accept(chooser, saved.file("recent board.json")));
    ASSERT_TRUE(shell.waitFor("!board.isDirty()"));
    ASSERT_TRUE(testsupport::runUntil([&] {
        auto items = openRecentItems(shell);
        return !items.empty() && items[0] == "recent board.json";
    })) << "Open Recent shows the board first";
    EXPECT_EQ(openRecentItems(shell).back(), menu::L10N::t("清除列表"));

    // Another board in its place; then the recent one, chosen from the menu, comes back with its name.
    shell.eval("board.load({items: []}); 0");
    choose(shell, menu::kRecentTagBase);
    ASSERT_TRUE(shell.waitFor("board.doc().items.map((i) => i.text).join() === 'remember me'")) << texts();
    EXPECT_EQ(shell.eval("String(board.isDirty())"), "false");
    EXPECT_TRUE(testsupport::runUntil([&] {
        return std::string(gtk_window_get_title(shell.window())).find("recent board.json") != std::string::npos;
    }));

    // Clear List empties it.
    choose(shell, menu::kClearRecentTag);
    EXPECT_TRUE(testsupport::runUntil(
        [&] { return openRecentItems(shell) == std::vector<std::string>{menu::L10N::t("清除列表")}; }));
}

// Edit ▸ Undo and Redo: the board's steps, or the typing of the page text field that has the focus.
TEST_F(BoardDocuments, UndoAndRedoItemsStepTheBoardOrTheFocusedField) {
    shell.eval("board.addNote('one'); board.addNote('two'); 0");
    choose(shell, menu::kUndoTag);
    ASSERT_TRUE(shell.waitFor("board.doc().items.length === 1")) << texts();
    choose(shell, menu::kRedoTag);
    ASSERT_TRUE(shell.waitFor("board.doc().items.length === 2")) << texts();

    gtk_widget_grab_focus(GTK_WIDGET(shell.webView()));
    shell.eval(
        "window.field = document.getElementById('ai-model'); field.value = ''; field.focus();"
        "document.execCommand('insertText', false, 'typed'); 0");
    ASSERT_EQ(shell.eval("field.value"), "typed");
    choose(shell, menu::kUndoTag);
    ASSERT_TRUE(shell.waitFor("field.value === ''")) << shell.eval("field.value").value_or("?");
    choose(shell, menu::kRedoTag);
    ASSERT_TRUE(shell.waitFor("field.value === 'typed'")) << shell.eval("field.value").value_or("?");
    EXPECT_EQ(shell.eval("board.doc().items.length"), "2") << "the board's steps stay as they were";
}

}  // namespace
