// SPDX-License-Identifier: GPL-3.0-or-later
// The application's own page speaks the language of the menus: at start, whether the choice is
// "auto" (resolved from the same first preferred language) or stored, and after every choice made
// in the View menu's language list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "menu/l10n.h"
#include "support/gtk_support.h"
#include "support/real_page.h"

namespace {

using testsupport::menuBarTitles;
using testsupport::Shell;

using Language = testsupport::ScopedLanguage;

std::string text(Shell& shell, const std::string& script) { return shell.eval(script).value_or("<error>"); }

TEST(PageLanguage, TheMenuRelabelsThePageToolbarInEveryLanguage) {
    Language tw("zh_TW.UTF-8:en");
    Shell shell("");
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    GtkApplication* app = shell.app().application();

    // Nothing stored: page and menus both follow the system, here Traditional Chinese.
    ASSERT_TRUE(shell.waitFor("document.documentElement.lang === 'zh-Hant'"));
    EXPECT_EQ(menuBarTitles(app)[1], "檔案");
    EXPECT_EQ(text(shell, "document.getElementById('btn-note').textContent"), "新增便條");

    const auto& codes = menu::L10N::codes();
    for (std::size_t i = 1; i < codes.size(); ++i) {
        const std::string& code = codes[i];
        SCOPED_TRACE(code);
        g_action_group_activate_action(G_ACTION_GROUP(app), ("tag-" + std::to_string(500 + i)).c_str(), nullptr);
        ASSERT_TRUE(shell.waitFor("document.documentElement.lang === '" + code + "'"));
        ASSERT_TRUE(testsupport::runUntil([&] { return menuBarTitles(app)[1] == menu::L10N::t("文件", code); }));
        // The words page and menus share are the menu's own.
        EXPECT_EQ(text(shell, "document.querySelector('#export-menu summary').textContent"),
                  menu::L10N::t("导出", code));
        EXPECT_EQ(text(shell, "document.getElementById('btn-save').textContent"), menu::L10N::t("保存", code));
        EXPECT_EQ(text(shell, "document.querySelector('#export-ratio option').textContent"),
                  menu::L10N::t("跟随画布", code));
        EXPECT_EQ(text(shell, "document.getElementById('lang-select').title"), menu::L10N::t("语言", code));
        EXPECT_EQ(text(shell, "document.getElementById('lang-select').value"), code);
        if (code != "en") {
            EXPECT_EQ(text(shell,
                           "String(document.getElementById('btn-note').textContent === board.t('addNote') && "
                           "board.t('addNote') !== 'Add note')"),
                      "true");
        }
    }

    // The language list shows every language in its own name; the zoom reads the language's way.
    EXPECT_EQ(text(shell, "[...document.getElementById('lang-select').options].slice(1).map((o) => o.text).join()"),
              "简体中文,繁體中文,English,日本語,Español,Français,Deutsch,Italiano,Português,한국어");
    g_action_group_activate_action(G_ACTION_GROUP(app), "tag-507", nullptr);
    ASSERT_TRUE(shell.waitFor("document.documentElement.lang === 'de'"));
    EXPECT_EQ(text(shell, "String(/^100\\s%$/.test(document.getElementById('zoom-level').value))"), "true");
    EXPECT_TRUE(testsupport::runUntil(
        [&] { return std::string(gtk_window_get_title(shell.window())) == "TAVRIK — Unbenanntes Board"; }));

    // Back to "auto": the system's language again, on both sides.
    g_action_group_activate_action(G_ACTION_GROUP(app), "tag-500", nullptr);
    ASSERT_TRUE(shell.waitFor("document.documentElement.lang === 'zh-Hant'"));
    EXPECT_TRUE(testsupport::runUntil([&] { return menuBarTitles(app)[1] == "檔案"; }));
    EXPECT_EQ(text(shell, "document.getElementById('lang-select').value"), "auto");
}

TEST(PageLanguage, EveryLoadIsToldTheStoredChoice) {
    Language fr("fr_FR.UTF-8");
    Shell shell("");
    // The vault's replies are made below.
    for (const char* action : {"vaultSet", "vaultDelete", "vaultStatus", "vaultList"})
        shell.app().bridge()->commands().remove(action);
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    ASSERT_TRUE(shell.waitFor("document.documentElement.lang === 'fr'"));

    // The page's own memory says German, the shell's settings say Japanese: after a reload the
    // page shows what the menus show.
    shell.app().settings().set(menu::L10N::key, "ja");
    shell.eval("localStorage.setItem('tavrik.lang', 'de'); window.__gone = true");
    webkit_web_view_reload(shell.webView());
    ASSERT_TRUE(shell.waitFor("!window.__gone && document.documentElement.lang === 'ja'"));
    EXPECT_EQ(text(shell, "document.getElementById('btn-note').textContent"), "メモを追加");
    EXPECT_EQ(text(shell, "document.getElementById('lang-select').value"), "ja");

    // Texts the page made from the shell's replies and calls change language with the rest.
    shell.eval("__vaultReply({reqId: board.refreshKeys(), ok: true, has: false, hint: '', backend: 'file', keys: []})");
    EXPECT_EQ(text(shell, "document.getElementById('keys-backend').textContent"), "保存先：暗号化ファイル");
    g_action_group_activate_action(G_ACTION_GROUP(shell.app().application()), "tag-509", nullptr);
    ASSERT_TRUE(shell.waitFor("document.documentElement.lang === 'pt'"));
    EXPECT_EQ(text(shell, "document.getElementById('keys-backend').textContent"),
              "Armazenadas em: Arquivo criptografado");
    EXPECT_EQ(text(shell, "document.querySelector('#keys-list li').textContent"), "Nenhuma chave salva ainda");
    shell.eval("toast('PDF 超过 25MB，无法读取')");
    EXPECT_EQ(text(shell, "document.getElementById('toast').textContent"),
              "O PDF tem mais de 25 MB e não pode ser lido");

    // A hand-edited choice that is no language tag reaches the page as English, as the menus read it.
    shell.app().settings().set(menu::L10N::key, "x');document.title=('owned");
    shell.eval("window.__gone = true");
    webkit_web_view_reload(shell.webView());
    ASSERT_TRUE(shell.waitFor("!window.__gone && document.documentElement.lang === 'en'"));
    EXPECT_EQ(menu::L10N::t("文件"), "File");
    EXPECT_EQ(text(shell, "document.title"), "TAVRIK");
}

}  // namespace
