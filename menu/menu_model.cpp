// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/menu_model.h"

#include "menu/l10n.h"

namespace menu {
namespace {

MenuItem item(std::string title, Action action = Action::None, int tag = 0,
              std::optional<KeyEquivalent> key = std::nullopt) {
    MenuItem i;
    i.title = std::move(title);
    i.action = action;
    i.tag = tag;
    if (action == Action::MenuAction) i.command = commandForTag(tag);
    i.key = key;
    return i;
}

MenuItem separator() {
    MenuItem i;
    i.separator = true;
    return i;
}

MenuItem withSubmenu(MenuItem i, Menu sub) {
    i.submenu = std::move(sub);
    return i;
}

MenuItem checkItem(std::string title, int tag, bool on) {
    MenuItem i = item(std::move(title), Action::MenuAction, tag);
    i.checkable = true;
    i.checked = on;
    return i;
}

template <class Item>
void collect(Menu& menu, std::vector<Item*>& out) {
    for (auto& i : menu.items) {
        out.push_back(&i);
        if (i.submenu) collect(*i.submenu, out);
    }
}

}  // namespace

std::string MenuItem::shownTitle() const {
    if (!runs.empty()) {
        std::string joined;
        for (const auto& r : runs) joined += r.text;
        return joined;
    }
    if (!title.empty() || !submenu) return title;
    return submenu->title;
}

Menu buildMenu(const std::string& language, const std::string& pref, const std::vector<std::string>& recent) {
    auto t = [&](const char* key) { return L10N::t(key, language); };
    Menu bar;

    // The application menu is untitled; the desktop shows the application's name there.
    Menu appMenu{"TAVRIK", {}};
    appMenu.items.push_back(item(t("关于 TAVRIK"), Action::About));
    appMenu.items.push_back(separator());
    appMenu.items.push_back(item(t("退出 TAVRIK"), Action::Quit, 0, KeyEquivalent{'q'}));
    bar.items.push_back(withSubmenu(item(""), std::move(appMenu)));

    // File, with the export submenu and its two size submenus.
    std::vector<std::string> sizes{t("跟随画布"), "16:9", "9:16", "4:3", "3:4", "1:1"};
    auto sizeMenu = [&](std::string title, int matchTag, std::optional<KeyEquivalent> matchKey, int ratioBase) {
        Menu m{std::move(title), {}};
        m.items.push_back(item(sizes[0], Action::MenuAction, matchTag, matchKey));
        for (int n = 1; n <= 5; ++n) m.items.push_back(item(sizes[n], Action::MenuAction, ratioBase + n));
        return m;
    };
    Menu exportMenu{t("导出"), {}};
    exportMenu.items.push_back(
        withSubmenu(item(t("PNG 图片")), sizeMenu(t("PNG 图片"), 2, KeyEquivalent{'e', true}, 200)));
    exportMenu.items.push_back(withSubmenu(item(t("JPG 图片")), sizeMenu(t("JPG 图片"), 3, std::nullopt, 300)));
    exportMenu.items.push_back(item(t("PDF 文档"), Action::MenuAction, 4));
    exportMenu.items.push_back(item(t("Word 文档 (docx)"), Action::MenuAction, 5));
    exportMenu.items.push_back(item(t("PPT 演示文稿 (pptx)"), Action::MenuAction, 6));
    // The two formats this system has no program for give way to their OpenDocument counterparts.
    exportMenu.items.push_back(item(t("OpenDocument 演示文稿 (odp)"), Action::MenuAction, 7));
    exportMenu.items.push_back(item(t("OpenDocument 文档 (odt)"), Action::MenuAction, 8));

    MenuItem import = item(t("导入 PDF 手帐模板（BETA）…"), Action::MenuAction, 9);
    import.runs = {{t("导入 PDF 手帐模板") + " ", false}, {" BETA ", true}, { " …", false }};

    Menu recentMenu{t("打开最近使用"), {}};
    for (std::size_t i = 0; i < recent.size() && i < std::size_t(kRecentMax); ++i)
        recentMenu.items.push_back(item(recent[i], Action::MenuAction, kRecentTagBase + int(i)));
    if (!recentMenu.items.empty()) recentMenu.items.push_back(separator());
    recentMenu.items.push_back(item(t("清除列表"), Action::MenuAction, kClearRecentTag));

    Menu fileMenu{t("文件"), {}};
    fileMenu.items.push_back(item(t("新建"), Action::MenuAction, kNewTag, KeyEquivalent{'n'}));
    fileMenu.items.push_back(item(t("保存 JSON"), Action::MenuAction, 0, KeyEquivalent{'s'}));
    fileMenu.items.push_back(item(t("另存为…"), Action::MenuAction, kSaveAsTag, KeyEquivalent{'s', true}));
    fileMenu.items.push_back(item(t("打开 JSON…"), Action::MenuAction, 1, KeyEquivalent{'o'}));
    fileMenu.items.push_back(withSubmenu(item(t("打开最近使用")), std::move(recentMenu)));
    fileMenu.items.push_back(std::move(import));
    fileMenu.items.push_back(separator());
    fileMenu.items.push_back(withSubmenu(item(t("导出")), std::move(exportMenu)));
    bar.items.push_back(withSubmenu(item(""), std::move(fileMenu)));

    // The page sees the undo keys first (a page text field keeps its own undo); the items do the
    // same as the keys.
    Menu editMenu{t("编辑"), {}};
    editMenu.items.push_back(item(t("撤销"), Action::MenuAction, kUndoTag, KeyEquivalent{'z', false, true}));
    editMenu.items.push_back(item(t("重做"), Action::MenuAction, kRedoTag, KeyEquivalent{'z', true, true}));
    editMenu.items.push_back(separator());
    editMenu.items.push_back(item(t("剪切"), Action::Cut, 0, KeyEquivalent{'x'}));
    editMenu.items.push_back(item(t("拷贝"), Action::Copy, 0, KeyEquivalent{'c'}));
    editMenu.items.push_back(item(t("粘贴"), Action::Paste, 0, KeyEquivalent{'v'}));
    editMenu.items.push_back(item(t("全选"), Action::SelectAll, 0, KeyEquivalent{'a'}));
    bar.items.push_back(withSubmenu(item(""), std::move(editMenu)));

    // View: the page keeps the zoom sensitivity, so every build starts back on the standard one.
    Menu sensMenu{t("缩放灵敏度"), {}};
    for (std::size_t i = 0; i < kSensFactors.size(); ++i)
        sensMenu.items.push_back(checkItem(t(kSensKeys[i]), kSensTagBase + int(i), kSensFactors[i] == 1.0));

    // Language items read the same in every interface language: each in its own language.
    Menu langMenu{t("语言"), {}};
    langMenu.items.push_back(checkItem(t("跟随系统"), kLangTagBase, pref == "auto"));
    const auto& codes = L10N::codes();
    const auto& names = L10N::nativeNames();
    for (std::size_t i = 1; i < codes.size(); ++i) {
        auto name = names.find(codes[i]);
        langMenu.items.push_back(
            checkItem(name != names.end() ? name->second : codes[i], kLangTagBase + int(i), pref == codes[i]));
    }

    Menu viewMenu{t("视图"), {}};
    viewMenu.items.push_back(withSubmenu(item(t("缩放灵敏度")), std::move(sensMenu)));
    viewMenu.items.push_back(withSubmenu(item(t("语言")), std::move(langMenu)));
    viewMenu.items.push_back(separator());
    viewMenu.items.push_back(item(t("适合内容"), Action::MenuAction, kZoomFitTag, KeyEquivalent{'1'}));
    viewMenu.items.push_back(item(t("100%"), Action::MenuAction, kZoomActualTag, KeyEquivalent{'0'}));
    bar.items.push_back(withSubmenu(item(""), std::move(viewMenu)));
    return bar;
}

std::vector<const MenuItem*> allItems(const Menu& menu) {
    std::vector<const MenuItem*> out;
    collect(const_cast<Menu&>(menu), out);
    return out;
}

std::vector<MenuItem*> allItems(Menu& menu) {
    std::vector<MenuItem*> out;
    collect(menu, out);
    return out;
}

}  // namespace menu
