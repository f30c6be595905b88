// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "menu/l10n.h"
#include "menu/menu_model.h"
#include "menu/recent_boards.h"

namespace {

using menu::Action;
using menu::Menu;
using menu::MenuItem;

// One line per item: indent, shown title, then tag, action, key and check mark when present.
std::string outline(const Menu& menu, bool withTitles, int depth = 0) {
    std::ostringstream out;
    for (const auto& i : menu.items) {
        out << std::string(depth * 2, ' ');
        if (i.separator) {
            out << "---\n";
            continue;
        }
        if (withTitles) out << i.shownTitle();
        if (i.action == Action::MenuAction) out << " #" << i.tag;
        if (i.action != Action::None && i.action != Action::MenuAction) out << " @" << int(i.action);
        if (i.key)
            out << " ^" << (i.key->shift ? "+" : "") << i.key->letter << (i.key->pageFirst ? " (page first)" : "");
        if (i.checkable) out << (i.checked ? " [x]" : " [ ]");
        out << "\n";
        if (i.submenu) out << outline(*i.submenu, withTitles, depth + 1);
    }
    return out.str();
}

// The whole menu bar in Simplified Chinese, with nothing stored.
const char* const kZhHansAuto = R"(TAVRIK
  关于 TAVRIK @2
  ---
  退出 TAVRIK @3 ^q
文件
  新建 #700 ^n
  保存 JSON #0 ^s
  另存为… #701 ^+s
  打开 JSON… #1 ^o
  打开最近使用
    清除列表 #720
  导入 PDF 手帐模板  BETA  … #9
  ---
  导出
    PNG 图片
      跟随画布 #2 ^+e
      16:9 #201
      9:16 #202
      4:3 #203
      3:4 #204
      1:1 #205
    JPG 图片
      跟随画布 #3
      16:9 #301
      9:16 #302
      4:3 #303
      3:4 #304
      1:1 #305
    PDF 文档 #4
    Word 文档 (docx) #5
    PPT 演示文稿 (pptx) #6
    OpenDocument 演示文稿 (odp) #7
    OpenDocument 文档 (odt) #8
编辑
  撤销 #702 ^z (page first)
  重做 #703 ^+z (page first)
  ---
  剪切 @4 ^x
  拷贝 @5 ^c
  粘贴 @6 ^v
  全选 @7 ^a
视图
  缩放灵敏度
    很慢 #400 [ ]
    柔和 #401 [ ]
    标准 #402 [x]
    快 #403 [ ]
    很快 #404 [ ]
  语言
    跟随系统 #500 [x]
    简体中文 #501 [ ]
    繁體中文 #502 [ ]
    English #503 [ ]
    日本語 #504 [ ]
    Español #505 [ ]
    Français #506 [ ]
    Deutsch #507 [ ]
    Italiano #508 [ ]
    Português #509 [ ]
    한국어 #510 [ ]
  ---
  适合内容 #600 ^1
  100% #601 ^0
)";

std::string unchecked(std::string s) {
    for (auto p = s.find("[x]"); p != std::string::npos; p = s.find("[x]")) s.replace(p, 3, "[ ]");
    return s;
}

const MenuItem& at(const Menu& m, std::initializer_list<int> path) {
    const Menu* cur = &m;
    const MenuItem* item = nullptr;
    for (int i : path) {
        item = &cur->items.at(i);
        if (item->submenu) cur = &*item->submenu;
    }
    return *item;
}

TEST(MenuTree, BuildsTheSameMenusInEveryLanguageWithTranslatedTitles) {
    struct Case {
        const char* lang;
        const char* pref;
        std::vector<std::string> topTitles;
        std::string importFirstRun, matchCanvas, sensTitle, langTitle, followSystem, standard, fit, actual;
        int checkedLangTag;  // 0: none
    };
    const Case cases[] = {
        {"zh-Hans",
         "auto",
         {"TAVRIK", "文件", "编辑", "视图"},
         "导入 PDF 手帐模板 ",
         "跟随画布",
         "缩放灵敏度",
         "语言",
         "跟随系统",
         "标准",
         "适合内容",
         "100%",
         500},
        {"de",
         "de",
         {"TAVRIK", "Ablage", "Bearbeiten", "Darstellung"},
         "PDF-Vorlage importieren ",
         "An Leinwand anpassen",
         "Zoom-Empfindlichkeit",
         "Sprache",
         "Systemeinstellung folgen",
         "Standard",
         "An Inhalt anpassen",
         "100 %",
         507},
        {"en",
         "en",
         {"TAVRIK", "File", "Edit", "View"},
         "Import PDF Template ",
         "Match canvas",
         "Zoom Sensitivity",
         "Language",
         "Follow System",
         "Standard",
         "Fit to content",
         "100 %",
         503},
        {"en",
         "xx",
         {"TAVRIK", "File", "Edit", "View"},
         "Import PDF Template ",
         "Match canvas",
         "Zoom Sensitivity",
         "Language",
         "Follow System",
         "Standard",
         "Fit to content",
         "100 %",
         0},
    };
    const std::string structure = outline(menu::buildMenu("zh-Hans", "auto"), false);
    EXPECT_EQ(outline(menu::buildMenu("zh-Hans", "auto"), true), kZhHansAuto);

    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lang) + " / " + c.pref);
        Menu bar = menu::buildMenu(c.lang, c.pref);
        ASSERT_EQ(bar.items.size(), 4u);
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_TRUE(bar.items[i].title.empty());
            EXPECT_EQ(bar.items[i].shownTitle(), c.topTitles[i]);
        }
        // Same items, tags, keys and separators in every language; only check marks may differ.
        EXPECT_EQ(unchecked(outline(bar, false)), unchecked(structure));

        const MenuItem& import = at(bar, {1, 5});
        ASSERT_EQ(import.runs.size(), 3u);
        EXPECT_EQ(import.runs[0], (menu::TitleRun{c.importFirstRun, false}));
        EXPECT_EQ(import.runs[1], (menu::TitleRun{" BETA ", true}));
        EXPECT_EQ(import.runs[2], (menu::TitleRun{" …", false}));
        EXPECT_EQ(import.title, "导入 PDF 手帐模板（BETA）…");

        EXPECT_EQ(at(bar, {1, 7, 0, 0}).title, c.matchCanvas);
        EXPECT_EQ(at(bar, {1, 7, 1, 0}).title, c.matchCanvas);
        EXPECT_EQ(at(bar, {1, 7, 0}).title, menu::L10N::t("PNG 图片", c.lang));
        EXPECT_EQ(at(bar, {1, 7, 6}).title, menu::L10N::t("OpenDocument 文档 (odt)", c.lang));
        EXPECT_EQ(at(bar, {1, 7, 0, 5}).title, "1:1");
        EXPECT_EQ(at(bar, {3, 0}).shownTitle(), c.sensTitle);
        EXPECT_EQ(at(bar, {3, 1}).shownTitle(), c.langTitle);
        EXPECT_EQ(at(bar, {3, 1, 0}).title, c.followSystem);
        EXPECT_EQ(at(bar, {3, 0, 2}).title, c.standard);
        EXPECT_EQ(at(bar, {3, 1, 7}).title, "Deutsch");
        EXPECT_EQ(at(bar, {3, 3}).title, c.fit);
        EXPECT_EQ(at(bar, {3, 4}).title, c.actual);

        int separators = 0, shifted = 0;
        std::vector<int> checked;
        for (const MenuItem* i : menu::allItems(bar)) {
            separators += i->separator;
            shifted += i->key && i->key->shift;
            if (i->checked) checked.push_back(i->tag);
        }
        EXPECT_EQ(separators, 4);
        EXPECT_EQ(shifted, 3);
        std::vector<int> expectedChecked{402};
        if (c.checkedLangTag) expectedChecked.push_back(c.checkedLangTag);
        EXPECT_EQ(checked, expectedChecked);
    }
}

// Every item that drives the page carries the command of its tag, and no two items share a tag.
TEST(MenuTree, EveryPageItemCarriesTheCommandOfItsTag) {
    std::set<int> tags;
    const auto menus = menu::buildMenu("en", "auto");  // the items point into it: kept for the loop
    for (const MenuItem* i : menu::allItems(menus)) {
        if (i->action != Action::MenuAction) continue;
        EXPECT_TRUE(tags.insert(i->tag).second) << i->tag;
        EXPECT_NE(i->command.kind, menu::Command::Kind::None) << i->tag;
        EXPECT_EQ(i->command, menu::commandForTag(i->tag)) << i->tag;
    }
    EXPECT_EQ(menu::commandForTag(500), (menu::Command{menu::Command::Kind::Language, "auto"}));
    EXPECT_EQ(menu::commandForTag(403), (menu::Command{menu::Command::Kind::Sensitivity, "3"}));
    EXPECT_EQ(menu::commandForTag(511).kind, menu::Command::Kind::None);
    EXPECT_EQ(menu::commandForTag(719), (menu::Command{menu::Command::Kind::OpenRecent, "9"}));
    EXPECT_EQ(menu::commandForTag(721).kind, menu::Command::Kind::None);
}

// Open Recent lists at most ten boards, newest first, above Clear List; the page sees none of it.
TEST(MenuTree, OpenRecentListsTheBoardsGivenAboveClearList) {
    std::vector<std::string> titles;
    for (int i = 0; i < 12; ++i) titles.push_back("board " + std::to_string(i) + ".json");
    const Menu bar = menu::buildMenu("en", "en", titles);
    const MenuItem& recent = at(bar, {1, 4});
    EXPECT_EQ(recent.shownTitle(), "Open Recent");
    ASSERT_TRUE(recent.submenu);
    EXPECT_EQ(outline(*recent.submenu, true),
              "board 0.json #710\nboard 1.json #711\nboard 2.json #712\nboard 3.json #713\nboard 4.json #714\n"
              "board 5.json #715\nboard 6.json #716\nboard 7.json #717\nboard 8.json #718\nboard 9.json #719\n"
              "---\nClear List #720\n");
}

// Two boards of the same name in different folders are told apart by their folder.
TEST(MenuTree, RecentTitlesNameTheFolderOnlyWhereNamesMeet) {
    EXPECT_EQ(menu::recentTitles({"/a/x/plan.json", "/b/y/plan.json", "/c/solo.json", "/d/bad\xff.json"}),
              (std::vector<std::string>{"plan.json — x", "plan.json — y", "solo.json", "bad\uFFFD.json"}));
}

// The export titles read in the interface language: no Han character is left in a language that
// does not write with them, and no format without a program on this system is offered.
TEST(MenuTree, ExportTitlesAreInTheInterfaceLanguage) {
    struct Case {
        const char* lang;
        bool han;  // the language writes with Han characters
        const char* odt;
    };
    const Case cases[] = {
        {"zh-Hans", true, "OpenDocument 文档 (odt)"}, {"zh-Hant", true, "OpenDocument 文件 (odt)"},
        {"en", false, "OpenDocument text (odt)"},     {"ja", true, "OpenDocument テキスト (odt)"},
        {"es", false, "Texto OpenDocument (odt)"},    {"fr", false, "Texte OpenDocument (odt)"},
        {"de", false, "OpenDocument-Text (odt)"},     {"it", false, "Testo OpenDocument (odt)"},
        {"pt", false, "Texto OpenDocument (odt)"},    {"ko", false, "OpenDocument 텍스트 (odt)"},
    };
    auto hasHan = [](const std::string& s) {
        for (unsigned char c : s)
            if (c >= 0xE4 && c <= 0xE9) return true;  // the basic CJK ideograph block's lead bytes
        return false;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lang);
        Menu bar = menu::buildMenu(c.lang, c.lang);
        const MenuItem& exportItem = at(bar, {1, 7});
        ASSERT_TRUE(exportItem.submenu);
        EXPECT_EQ(exportItem.submenu->items.size(), 7u);
        for (const MenuItem* i : menu::allItems(*exportItem.submenu)) {
            std::string title = i->shownTitle();
            if (!c.han) {
                EXPECT_FALSE(hasHan(title)) << title;
            }
            EXPECT_EQ(title.find("Keynote"), std::string::npos) << title;
            EXPECT_EQ(title.find("Pages"), std::string::npos) << title;
        }
        EXPECT_EQ(at(bar, {1, 7, 6}).title, c.odt);
        EXPECT_EQ(at(bar, {1, 7, 6}).tag, 8);
        EXPECT_EQ(at(bar, {1, 7, 5}).tag, 7);
    }
    // The size submenus carry their item's title.
    EXPECT_EQ(at(menu::buildMenu("en", "en"), {1, 7, 1}).submenu->title, "JPG image");
}

}  // namespace
