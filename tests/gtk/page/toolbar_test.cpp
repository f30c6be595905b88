// SPDX-License-Identifier: GPL-3.0-or-later
// The page's toolbar in the real web view: one row in every language, from the window's default
// width down to its minimum, with every control either in the row or in the "…" menu.
#include <gtest/gtest.h>

#include "support/gtk_support.h"
#include "support/real_page.h"

using testsupport::lastSent;

namespace {

// The window's default and minimum content widths.
constexpr int kDefaultWidth = 1280, kMinWidth = 900;

// The toolbar as laid out: how many rows its shown controls take, its height against one row's,
// the controls that stick out of it, those found neither in the row nor in the "…" menu, and the
// ids in the menu.
const char* kToolbarReport = R"JS(JSON.stringify((() => {
  const bar = document.querySelector('.toolbar'), more = document.getElementById('toolbar-more');
  const box = bar.getBoundingClientRect(), style = getComputedStyle(bar);
  const shown = [...bar.children].filter((el) => el.getClientRects().length);
  const rects = shown.map((el) => el.getBoundingClientRect());
  const tops = new Set(rects.map((r) => Math.round(r.top + r.height / 2)));
  const oneRow = Math.max(parseFloat(style.minHeight), Math.max(...rects.map((r) => r.height)) +
    parseFloat(style.paddingTop) + parseFloat(style.paddingBottom) + parseFloat(style.borderBottomWidth));
  const ids = ['btn-note', 'btn-open', 'btn-save', 'export-menu', 'btn-import', 'btn-openfile', 'btn-savefile',
               'btn-delete', 'zoom-level', 'sens-select', 'lang-select', 'btn-panel'];
  const inMenu = ids.filter((id) => more?.querySelector('.menu-body').contains(document.getElementById(id)));
  return {
    rows: tops.size,
    height: Math.round(box.height) - Math.round(oneRow),
    outside: shown.filter((el, i) => rects[i].left < box.left || rects[i].right > box.right - parseFloat(style.paddingRight) + 0.5)
                  .map((el) => el.id || el.className),
    lost: ids.filter((id) => !inMenu.includes(id) && !shown.includes(document.getElementById(id))),
    menu: inMenu.join(),
    moreShown: !!more && !more.hidden,
  };
})()))JS";

class ToolbarTest : public ::testing::Test {
protected:
    void SetUp() override {
        shell.app().bridge()->commands().clear();
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        testsupport::recordMessages(shell);
    }
    std::string js(const std::string& script) { return shell.eval(script).value_or("<error>"); }

    // Sizes the window so that the page is `width` wide, and waits for a frame drawn at that width.
    bool resizePage(int width) {
        int window = gtk_widget_get_width(GTK_WIDGET(shell.window()));
        int view = gtk_widget_get_width(GTK_WIDGET(shell.webView()));
        gtk_window_set_default_size(shell.window(), width + window - view,
                                    gtk_widget_get_height(GTK_WIDGET(shell.window())));
        if (!shell.waitFor("innerWidth === " + std::to_string(width))) return false;
        js("window.__frame = false; requestAnimationFrame(() => requestAnimationFrame(() => window.__frame = true))");
        return shell.waitFor("window.__frame");
    }

    void TearDown() override { preferDark(false); }

    // The toolbar lays itself out again once the texts have changed, before the next frame.
    void setLanguage(const char* lang) { js(std::string("__setLang('") + lang + "')"); }

    // GTK's dark preference, which the page follows; GtkSettings outlive the test.
    bool preferDark(bool dark) {
        g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", dark, nullptr);
        return shell.waitFor(std::string(dark ? "" : "!") + "matchMedia('(prefers-color-scheme: dark)').matches");
    }

    testsupport::Shell shell{""};
};

TEST_F(ToolbarTest, OneRowInEveryLanguageFromTheDefaultWidthToTheMinimum) {
    ASSERT_EQ(js("String(innerWidth)"), std::to_string(kDefaultWidth)) << "the window opens at its default size";
    auto expectOneRow = [&](const std::string& where) {
        js(std::string("window.__bar = ") + kToolbarReport);
        SCOPED_TRACE(where + ": " + js("window.__bar"));
        auto field = [&](const char* name) { return js(std::string("String(JSON.parse(window.__bar).") + name + ")"); };
        EXPECT_EQ(field("rows"), "1");
        EXPECT_EQ(field("height"), "0") << "the toolbar is one row high";
        EXPECT_EQ(field("outside"), "") << "no control sticks out of the toolbar";
        EXPECT_EQ(field("lost"), "") << "every control is in the row or in the menu";
        EXPECT_EQ(field("moreShown"), field("menu").empty() ? "false" : "true");
        EXPECT_EQ(js(std::string("toolbar.layout(), JSON.parse(") + kToolbarReport + ").menu"), field("menu"))
            << "only what does not fit is in the menu, as a fresh layout has it";
    };
    // The languages whose texts are longest first.
    const char* languages[] = {"de", "fr", "es", "pt", "it", "ja", "ko", "en", "zh-Hans", "zh-Hant"};
    for (int width : {kDefaultWidth, 1100, kMinWidth}) {
        ASSERT_TRUE(resizePage(width)) << width;
        for (const char* lang : languages) {
            setLanguage(lang);
            expectOneRow(std::string(lang) + " at " + std::to_string(width));
        }
    }
    // The dark style draws the selects itself.
    ASSERT_TRUE(resizePage(kDefaultWidth));
    ASSERT_TRUE(preferDark(true));
    for (const char* lang : languages) {
        setLanguage(lang);
        expectOneRow(std::string(lang) + " dark");
    }
    ASSERT_TRUE(preferDark(false));
    // English has room for everything at the default width; Chinese has too.
    for (const char* lang : {"en", "zh-Hans"}) {
        setLanguage(lang);
        js(std::string("window.__bar = ") + kToolbarReport);
        EXPECT_EQ(js("String(JSON.parse(window.__bar).moreShown)"), "false") << lang;
    }
}

// A control in the "…" menu is the same element, working as in the row; the menu closes once it
// has been used, and everything returns to its place when there is room again.
TEST_F(ToolbarTest, ControlsInTheMenuWorkAndComeBackInOrder) {
    const std::string order = "[...document.querySelector('.toolbar').children].map((e) => e.id || e.className).join()";
    const std::string before = js(order);
    ASSERT_TRUE(resizePage(kMinWidth));
    setLanguage("de");
    js(std::string("window.__bar = ") + kToolbarReport);
    const std::string menu = "document.getElementById('toolbar-more')";
    ASSERT_EQ(js("String(JSON.parse(window.__bar).menu.includes('lang-select'))"), "true") << js("window.__bar");
    EXPECT_EQ(js(menu + ".querySelector('label span').textContent"), "Zoom-Empfindlichkeit")
        << "a select in the menu is labelled";

    js(menu + ".querySelector('summary').click()");
    js("const s = document.getElementById('lang-select'); s.value = 'ja'; s.dispatchEvent(new Event('change', "
       "{bubbles: true}))");
    EXPECT_EQ(js(lastSent("langChanged") + ".lang"), "ja");
    EXPECT_EQ(js("document.getElementById('btn-note').textContent"), "メモを追加");
    EXPECT_EQ(js("String(" + menu + ".open)"), "false");

    js(menu + ".querySelector('summary').click(); document.getElementById('btn-import').click()");
    EXPECT_EQ(js("String(!!" + lastSent("openPaperPDF") + ")"), "true");
    EXPECT_EQ(js("String(" + menu + ".open)"), "false");
    // A press elsewhere closes it, as does Escape.
    js(menu +
       ".querySelector('summary').click(); document.getElementById('viewport').dispatchEvent("
       "new PointerEvent('pointerdown', {bubbles: true}))");
    EXPECT_EQ(js("String(" + menu + ".open)"), "false");
    js(menu +
       ".querySelector('summary').click(); document.dispatchEvent(new KeyboardEvent('keydown', {key: 'Escape'}))");
    EXPECT_EQ(js("String(" + menu + ".open)"), "false");

    ASSERT_TRUE(resizePage(kDefaultWidth));
    setLanguage("en");
    EXPECT_EQ(js(order), before);
    EXPECT_EQ(js(menu + ".querySelector('.menu-body').children.length"), "0");
}

}  // namespace
