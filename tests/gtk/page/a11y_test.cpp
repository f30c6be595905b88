// SPDX-License-Identifier: GPL-3.0-or-later
// What assistive technology gets from the page, in the real web view: every toolbar control named
// in the page's language, every item reachable with Tab in board order and announced by kind and
// text, a visible focus ring, and text contrast of at least 4.5:1 in the light and dark styles.
#include <gtest/gtest.h>

#include "support/gtk_support.h"
#include "support/real_page.h"

namespace {

class PageAccessibility : public ::testing::Test {
protected:
    void SetUp() override {
        shell.app().bridge()->commands().clear();
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        js("board.load({items: []})");
    }
    void TearDown() override { preferDark(false); }
    std::string js(const std::string& script) { return shell.eval(script).value_or("<error>"); }
    bool preferDark(bool dark) {
        g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", dark, nullptr);
        return shell.waitFor(std::string(dark ? "" : "!") + "matchMedia('(prefers-color-scheme: dark)').matches");
    }

    testsupport::Shell shell{""};
};

// The accessible name and role of an element as the accessible-name computation gives them for the
// markup the page uses (aria-label, then aria-labelledby, then content for controls that take their
// name from it, then title), and the ARIA or implicit role.
const char* kAccessible = R"JS(
window.__a11y = (el) => {
  const text = (n) => n.nodeType === 3 ? n.textContent : n.nodeType !== 1 || n.getAttribute('aria-hidden') === 'true' ||
    getComputedStyle(n).display === 'none' ? '' : [...n.childNodes].map(text).join('');
  let name = el.getAttribute('aria-label') || '';
  if (!name && el.getAttribute('aria-labelledby'))
    name = el.getAttribute('aria-labelledby').split(' ').map((id) => text(document.getElementById(id))).join(' ');
  const tag = el.tagName.toLowerCase();
  const control = tag === 'details' ? el.querySelector('summary') : el;
  if (!name && ['button', 'summary'].includes(control.tagName.toLowerCase())) name = text(control);
  if (!name && el.labels?.length) name = [...el.labels].map(text).join(' ');
  if (!name.trim()) name = control.title || el.title || '';
  const role = el.getAttribute('role') || { button: 'button', summary: 'button', details: 'group', select: 'combobox',
                                            output: 'status', input: 'textbox' }[tag] || tag;
  return { role, name: name.trim().replace(/\s+/g, ' '), description: el.getAttribute('aria-roledescription') || '' };
};
)JS";

TEST_F(PageAccessibility, EveryToolbarControlIsNamedInThePagesLanguage) {
    js(kAccessible);
    std::string engine =
        js("JSON.stringify(['computedRole' in Element.prototype, 'computedLabel' in Element.prototype])");
    SCOPED_TRACE("engine's own computed role and label: " + engine);
    for (const char* lang : {"en", "zh-Hans", "fr", "ko"}) {
        SCOPED_TRACE(lang);
        js(std::string("__setLang('") + lang + "')");
        // Every control of the toolbar, the ones moved into the "…" menu included.
        std::string unnamed =
            js("JSON.stringify([...document.querySelectorAll('.toolbar button, .toolbar select, .toolbar summary, "
               ".toolbar output')]"
               ".map((el) => ({ id: el.id || el.parentElement.id, ...__a11y(el) })).filter((a) => !a.name))");
        EXPECT_EQ(unnamed, "[]");
        // Each named in the language's own words.
        EXPECT_EQ(
            js("JSON.stringify([['btn-note', 'addNote'], ['sens-select', 'sensitivity'], ['lang-select', 'language'],"
               " ['zoom-level', 'zoom'], ['btn-panel', 'panel']].filter(([id, key]) =>"
               " __a11y(document.getElementById(id)).name !== i18n.t(key)).map(([id]) => [id, "
               "__a11y(document.getElementById(id))]))"),
            "[]");
        EXPECT_EQ(js("__a11y(document.querySelector('#toolbar-more summary')).name"), js("i18n.t('more')"));
    }
}

TEST_F(PageAccessibility, TabReachesEveryItemInBoardOrderAnnouncingKindAndText) {
    js(kAccessible);
    js("__setLang('en'); board.load({items: ["
       "{type: 'note', x: 0, y: 0, w: 200, h: 100, text: 'Buy milk'},"
       "{type: 'file', x: 300, y: 0, w: 200, h: 60, name: 'plan.txt', mime: 'text/plain', dataUrl: 'data:,x'},"
       "{type: 'note', x: 0, y: 200, w: 200, h: 100, text: ''},"
       "{type: 'paper', x: -900, y: 0, w: 300, h: 400, name: 'diary.pdf 1', src: 'data:image/png;base64,iVBORw0KGgo='},"
       "]})");
    // Focusable in the order the board draws them (template pages beneath, first), each with a
    // role, its kind, and its text.
    EXPECT_EQ(
        js("JSON.stringify([...document.querySelectorAll('[tabindex]')].filter((el) => el.tabIndex >= 0 && "
           "el.closest('#world')).map((el) => { const a = __a11y(el); return `${a.role}|${a.description}|${a.name}`; "
           "}))"),
        R"x(["group|Template page|diary.pdf 1","group|Note|Buy milk","group|File|plan.txt (text/plain)","group|Note|Empty note"])x");
    EXPECT_EQ(js("board.doc().items.map((i) => i.id).join()"),
              js("[...document.querySelectorAll('#world .item')].map((el) => el.dataset.id).join()"));
    // In French the same items speak French.
    js("__setLang('fr')");
    EXPECT_EQ(js("__a11y(document.querySelectorAll('#world .item')[3]).description + '|' +"
                 " __a11y(document.querySelectorAll('#world .item')[3]).name"),
              "Note|Note vide");
    js("__setLang('en')");

    // Focus on an item selects it, brings it into view and draws a ring the style sheet gives
    // only to keyboard focus.
    js("boardView.setView({x: 3000, y: 3000, zoom: 1}); document.querySelectorAll('#world .item')[2].focus()");
    EXPECT_EQ(js("String(boardView.selectedId === board.doc().items[2].id)"), "true");
    EXPECT_EQ(
        js("(() => { const r = document.querySelectorAll('#world .item')[2].getBoundingClientRect(),"
           " v = boardView.viewport.getBoundingClientRect();"
           " return String(r.left >= v.left && r.right <= v.right && r.top >= v.top && r.bottom <= v.bottom); })()"),
        "true");
    EXPECT_EQ(js("(() => { const el = document.activeElement, s = getComputedStyle(el);"
                 " return [el.matches(':focus-visible'), s.outlineStyle, s.outlineWidth].join(); })()"),
              "true,solid,3px");
    // Enter edits the focused note; Escape ends it with the focus back on the note.
    js("document.querySelectorAll('#world .item')[3].focus();"
       " document.activeElement.dispatchEvent(new KeyboardEvent('keydown', {key: 'Enter', bubbles: true, cancelable: "
       "true}))");
    EXPECT_EQ(js("String(document.activeElement.isContentEditable)"), "true");
    js("document.activeElement.textContent = 'typed'; document.activeElement.dispatchEvent(new "
       "KeyboardEvent('keydown', "
       "{key: 'Escape', bubbles: true, cancelable: true}))");
    EXPECT_EQ(js("document.activeElement.getAttribute('aria-label') + '|' + board.doc().items[3].text"), "typed|typed");
}

TEST_F(PageAccessibility, TextContrastIsAtLeastAaInLightAndDark) {
    // The contrast of each element's text against the first opaque background behind it.
    const char* kContrast = R"JS(JSON.stringify((() => {
      const rgb = (c) => (c.match(/[\d.]+/g) || []).map(Number);
      const lum = ([r, g, b]) => [r, g, b].map((v) => { v /= 255; return v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4; })
        .reduce((s, v, i) => s + v * [0.2126, 0.7152, 0.0722][i], 0);
      const bg = (el) => { for (; el; el = el.parentElement) { const c = rgb(getComputedStyle(el).backgroundColor);
        if (c.length === 3 || c[3] === 1) return c.slice(0, 3); } return [255, 255, 255]; };
      const ratio = (el) => { const a = lum(rgb(getComputedStyle(el).color)), b = lum(bg(el));
        return (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05); };
      const els = [...document.querySelectorAll('.toolbar button:not(:disabled), .toolbar summary, .toolbar select, #zoom-level, '
        + '#empty-hint, #panel h2, #panel label, #panel .status, #panel input, #panel textarea, #panel button, #world .item .name, '
        + '#world .item .mime, #world .item.note .text')].filter((el) => el.getClientRects().length);
      return els.map((el) => [el.id || el.className || el.tagName, Math.round(ratio(el) * 100) / 100]).filter(([, r]) => r < 4.5);
    })()))JS";
    js("board.load({items: [{type: 'file', x: 0, y: 0, w: 200, h: 60, name: 'plan.txt', mime: 'text/plain', dataUrl: "
       "'data:,x'}, {type: 'note', x: 0, y: 100, w: 200, h: 100, text: 'n'}]});"
       " document.getElementById('fetch-status').className = 'status ok'; "
       "document.getElementById('fetch-status').textContent = 'ok'");
    for (bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        ASSERT_TRUE(preferDark(dark));
        EXPECT_EQ(js(kContrast), "[]");
    }
    // The placeholder of an empty note, on every note colour.
    EXPECT_EQ(
        js("NOTE_COLORS.every((c) => { const l = (h) => [1, 3, 5].map((i) => parseInt(h.substr(i, 2), 16) / 255)"
           ".map((v) => v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4).reduce((s, v, i) => s + v * "
           "[0.2126, 0.7152, 0.0722][i], 0); return (l(c) + 0.05) / (l('#4d4d4d') + 0.05) >= 4.5; }) ? 'AA' : 'below'"),
        "AA");
}

}  // namespace
