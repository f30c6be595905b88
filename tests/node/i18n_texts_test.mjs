// SPDX-License-Identifier: GPL-3.0-or-later
// The page's texts in every language of the shell's language menu: the same keys as English, the
// same placeholders, nothing left in English by mistake, Traditional characters for zh-Hant; and
// the page resolving "auto" and formatting numbers the way the shell and the language expect.
// Run: node tests/node/i18n_texts_test.mjs [path/to/i18n.js]
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import test from 'node:test';
import vm from 'node:vm';

const here = dirname(fileURLToPath(import.meta.url));
const source = readFileSync(process.argv[2] || join(here, '../../html/i18n.js'), 'utf8');

// The script as the page runs it, with just enough of a document and a navigator.
function loadPage(language = 'en-US') {
  const context = vm.createContext({ document: { documentElement: {} }, navigator: { language, languages: [language] }, Intl });
  vm.runInContext(`${source}\n;this.exported = { TEXTS, LANG_CODES, LANG_NAMES, SHELL_TEXTS, i18n };`, context);
  return context.exported;
}
const { TEXTS, LANG_CODES, LANG_NAMES, SHELL_TEXTS } = loadPage();
const LANGUAGES = [...LANG_CODES].filter((c) => c !== 'auto');

// Texts that rightly read the same as English, by language and key ("*" = every language). A
// text equal to English that is not listed here is an untranslated one.
const SAME_AS_ENGLISH = {
  '*': ['fetchPlaceholder', 'httpError', 'labelled', 'aiProviderAnthropic'], // a URL pattern; "HTTP" and a number; "{label}: {value}"; a company's name
  fr: ['note', 'zoom', 'sensNames.2', 'kindNote', 'kindImage'], // "Note", "Zoom", "Standard" (the menu's word), "Image"
  de: ['zoom', 'prompt', 'sensNames.2'],              // "Zoom", "Prompt", "Standard" (the menu's word)
  it: ['zoom', 'prompt', 'sensNames.2', 'kindFile'],  // "Zoom", "Prompt", "Standard" (the menu's word), "File"
  es: ['zoom'],
  pt: ['zoom'],
};
const sameAllowed = (lang, id) => SAME_AS_ENGLISH['*'].includes(id) || (SAME_AS_ENGLISH[lang] || []).includes(id);

// Every text of a table as [id, text], arrays entry by entry ("sensNames.2").
function entries(table) {
  return Object.entries(table).flatMap(([key, value]) =>
    Array.isArray(value) ? value.map((text, i) => [`${key}.${i}`, text]) : [[key, value]]);
}
const placeholders = (text) => [...String(text).matchAll(/\{(\w+)\}/g)].map((m) => m[1]).sort();

test('there is one table for each language of the shell, each named in its own language', () => {
  assert.deepEqual(Object.keys(TEXTS).sort(), [...LANGUAGES].sort());
  assert.deepEqual(LANGUAGES, ['zh-Hans', 'zh-Hant', 'en', 'ja', 'es', 'fr', 'de', 'it', 'pt', 'ko']);
  assert.deepEqual(Object.keys(LANG_NAMES).sort(), [...LANGUAGES].sort());
  assert.equal(LANG_NAMES['zh-Hant'], '繁體中文');
  assert.equal(LANG_NAMES.pt, 'Português');
});

test('every language has exactly the English keys, in the English order, with the same shapes', () => {
  const english = Object.keys(TEXTS.en);
  for (const lang of LANGUAGES) {
    const keys = Object.keys(TEXTS[lang]);
    assert.deepEqual(english.filter((k) => !keys.includes(k)), [], `${lang} lacks these keys`);
    assert.deepEqual(keys.filter((k) => !english.includes(k)), [], `${lang} has keys English lacks`);
    assert.deepEqual(keys, english, `${lang} lists its keys in another order than English`);
    for (const key of english) {
      const en = TEXTS.en[key], own = TEXTS[lang][key];
      assert.equal(Array.isArray(own), Array.isArray(en), `${lang}.${key}: list against text`);
      if (Array.isArray(en)) assert.equal(own.length, en.length, `${lang}.${key}: length`);
    }
    for (const [id, text] of entries(TEXTS[lang])) {
      assert.equal(typeof text, 'string', `${lang}.${id}`);
      assert.ok(text.trim(), `${lang}.${id} is empty`);
    }
  }
});

test('every translation keeps the placeholders of the English text, and adds none', () => {
  const english = new Map(entries(TEXTS.en));
  for (const lang of LANGUAGES)
    for (const [id, text] of entries(TEXTS[lang]))
      assert.deepEqual(placeholders(text), placeholders(english.get(id)), `${lang}.${id}: ${text}`);
});

test('no translation is left in English except the listed ones', () => {
  const english = new Map(entries(TEXTS.en));
  const stale = [];
  for (const lang of LANGUAGES.filter((l) => l !== 'en')) {
    for (const [id, text] of entries(TEXTS[lang])) {
      if (text === english.get(id)) assert.ok(sameAllowed(lang, id), `${lang}.${id} is still English: "${text}"`);
    }
    for (const id of SAME_AS_ENGLISH[lang] || [])
      if (new Map(entries(TEXTS[lang])).get(id) !== english.get(id)) stale.push(`${lang}.${id}`);
  }
  assert.deepEqual(stale, [], 'listed as English but translated: drop them from the list');
});

test('Traditional Chinese is written in Traditional characters, not converted Simplified', () => {
  // Simplified-only forms of characters an interface uses; each has a distinct Traditional form.
  const simplifiedOnly = '这们图画页开关删设钥键网请输确认应无读获择选复显档储缩灵语随统导动标为从发态项权错误载';
  for (const [id, text] of entries(TEXTS['zh-Hant'])) {
    const found = [...text].filter((c) => simplifiedOnly.includes(c));
    assert.deepEqual(found, [], `zh-Hant.${id}: ${text}`);
  }
});

test('the texts the shell sends in Simplified Chinese have a key in every language', () => {
  for (const [shellText, key] of Object.entries(SHELL_TEXTS)) {
    assert.equal(TEXTS['zh-Hans'][key], shellText, 'the Simplified text is the shell\'s, word for word');
    const page = loadPage();
    for (const lang of LANGUAGES) {
      page.i18n.set(lang);
      assert.equal(page.i18n.native(shellText), TEXTS[lang][key], `${lang} ${key}`);
    }
    assert.equal(page.i18n.native('某个其他的错误'), '某个其他的错误', 'unknown shell texts stay as they came');
  }
});

test('"auto" resolves from the first preferred language by the shell\'s rule', () => {
  const cases = [
    ['zh-Hant-TW', 'zh-Hant'], ['zh-HK', 'zh-Hant'], ['zh-MO', 'zh-Hant'], ['zh-Hans-MO', 'zh-Hant'],
    ['zh-Hans-CN', 'zh-Hans'], ['zh-SG', 'zh-Hans'], ['zh', 'zh-Hans'], ['zh-tw', 'zh-Hant'],
    ['en-GB', 'en'], ['nl-NL', 'en'], ['yue-Hant-HK', 'en'], ['c', 'en'], ['pt-BR', 'pt'], ['es-419', 'es'],
    ['ko-KR', 'ko'], ['ja', 'ja'], ['de-AT', 'de'], ['fr-CA', 'fr'], ['it-CH', 'it'],
  ];
  for (const [tag, lang] of cases) {
    const { i18n } = loadPage(tag);
    assert.ok(i18n.set('auto'));
    assert.equal(i18n.lang, lang, tag);
    assert.equal(i18n.t('addNote'), TEXTS[lang].addNote, tag);
  }
  // A stored choice wins over the system; one without a table of its own reads English, as the
  // menus do; something that is no language tag is refused and changes nothing.
  const { i18n } = loadPage('fr-FR');
  i18n.set('ja');
  assert.equal(i18n.t('save'), '保存');
  i18n.set('xx');
  assert.equal(i18n.t('save'), 'Save');
  for (const bad of ["en')", '', 42, null, 'a'.repeat(40)]) assert.equal(i18n.set(bad), false, String(bad));
  assert.equal(i18n.code, 'xx');
});

test('numbers, percentages and sizes are written the language\'s way', () => {
  const { i18n } = loadPage();
  // ICU versions differ in which no-break space they put before "%" or between thousands.
  const spaced = (text) => text.replace(/[\u00a0\u202f]/g, ' ');
  const cases = [
    ['en', 'Items added: 1,234', '150%', '1.5 MB', '512 bytes'],
    ['de', 'Hinzugefügte Objekte: 1.234', '150 %', '1,5 MB', '512 Byte'],
    ['fr', 'Éléments ajoutés : 1 234', '150 %', '1,5 Mo', '512 octets'],
    ['zh-Hans', '已添加 1,234 项', '150%', '1.5 MB', '512字节'],
  ];
  for (const [lang, dropped, zoom, size, bytes] of cases) {
    i18n.set(lang);
    assert.equal(spaced(i18n.t('dropped', { n: 1234 })), dropped, lang);
    assert.equal(spaced(i18n.percent(1.5)), zoom, lang);
    assert.equal(spaced(i18n.size(1.5 * 1024 * 1024)), size, lang);
    assert.equal(spaced(i18n.size(512)), bytes, lang);
  }
  i18n.set('en');
  assert.equal(i18n.t('renderingPdf', { i: 2 }), 'Reading PDF: page 2 of {n}', 'a missing value leaves its placeholder');
  assert.equal(i18n.size(20 * 1024 * 1024), '20 MB');
});
