// SPDX-License-Identifier: GPL-3.0-or-later
// The page side of the shell: wires the boardView to the toolbar and panels, and to the native side
// through the page kit (bridge.js). The page's entry module: the other modules of the page are
// imported here, and the classic scripts it builds on (i18n.js, board.js, recovery.js, …) run before it.
// @ts-check
import { on, request, send, stream } from './bridge.js';
import { createAiPanel, keyOrigins } from './ai.js';
import { boardPieces } from './board_text.js';
import { askChoice } from './drop.js';
import { exportOffice } from './office.js';

/** @type {(id: string) => any} */
export const $ = (id) => document.getElementById(id);
const FETCH_TIMEOUT_MS = 30000;  // the shell gives up on an image after 20 s

export const prefs = {
  get(key, fallback) {
    try { return localStorage.getItem(`tavrik.${key}`) ?? fallback; } catch { return fallback; }
  },
  set(key, value) {
    try { localStorage.setItem(`tavrik.${key}`, value); } catch { /* storage off or full */ }
  },
  remove(key) {
    try { localStorage.removeItem(`tavrik.${key}`); } catch { /* storage off */ }
  },
};

// ---- toast ---------------------------------------------------------------------------------------

let toastTimer = 0;
export function toast(text, kind = 'info') {
  const el = $('toast');
  el.textContent = i18n.native(String(text));
  el.className = `show ${kind}`;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => { el.className = ''; }, kind === 'error' ? 5000 : 2600);
}

// ---- document state ------------------------------------------------------------------------------

let dirty = false;
let revision = 0;  // bumped by every change of the document
let lastTitle = '';
let boardName = null;  // the file the board was last opened from or saved to, for the title
let nameNext = false;  // a board was just opened: the shell names its file next
// The undo history's name (undo.js) for the board as it was last opened or confirmed saved: undo
// and redo that bring the board back to it make it clean again. Null when nothing can.
let savedMark = null;
const currentMark = () => (typeof undoMark === 'function' ? undoMark() : null);

export const boardView = new Board($('viewport'), $('world'), (reason) => {
  if (!['select', 'zoom'].includes(reason)) {
    dirty = true;
    revision++;
    recovery.changed(() => boardView.toJSON());
    // Once the change is recorded (the history records an added item after it is shown).
    queueMicrotask(followUndo);
  }
  refreshChrome();
});

// A board that undo or redo took back to its saved state is clean: the title loses its mark and
// quitting does not ask.
function followUndo() {
  if (dirty && savedMark !== null && currentMark() === savedMark) markClean();
}

// The board now matches a file (opened, or confirmed saved): nothing of it needs recovering.
function markClean(at = Date.now()) {
  dirty = false;
  recovery.settled(at, true);
  refreshChrome();
}

function refreshChrome() {
  $('empty-hint').hidden = !boardView.isEmpty();
  const sel = boardView.selected();
  for (const id of ['btn-openfile', 'btn-savefile', 'btn-delete']) $(id).disabled = !sel;
  $('zoom-level').value = i18n.percent(boardView.zoom);
  const title = `TAVRIK — ${boardName ?? i18n.t('untitled')}${dirty ? ' •' : ''}`;
  if (title !== lastTitle) {
    lastTitle = title;
    send('setTitle', { title });
  }
}

// ---- adding things -------------------------------------------------------------------------------

function placeNear(w, h, at) {
  return boardView.placeNew(w, h, at);
}

export function addNote(text, at) {
  const w = 220, h = 140;
  const color = NOTE_COLORS[boardView.items.length % NOTE_COLORS.length];
  return boardView.add({ type: 'note', text: String(text ?? ''), color, w, h, ...placeNear(w, h, at) });
}

export function loadImage(src) {
  return new Promise((resolve, reject) => {
    const img = new Image();
    img.onload = () => resolve(img);
    img.onerror = () => reject(new Error('image'));
    img.src = src;
  });
}

// Adds an image given as a data URL, at most 480 px on its longer side; resolves to the item.
async function addImage(dataUrl, name = '', at) {
  if (typeof dataUrl !== 'string' || !/^data:image\//i.test(dataUrl)) throw new Error('not an image');
  const img = await loadImage(dataUrl);
  const scale = Math.min(1, 480 / Math.max(img.naturalWidth, img.naturalHeight, 1));
  const w = Math.max(1, Math.round(img.naturalWidth * scale)), h = Math.max(1, Math.round(img.naturalHeight * scale));
  return boardView.add({ type: 'image', src: dataUrl, name: String(name), w, h, ...placeNear(w, h, at) });
}

function addFile(name, mime, dataUrl) {
  const w = 220, h = 64;
  return boardView.add({ type: 'file', name, mime, dataUrl, w, h, ...placeNear(w, h) });
}

// ---- save, open, export ----------------------------------------------------------------------------

// The board is saved only when the shell confirms the file was written, and clean only if it has
// not changed since it was sent. Save writes the board's own file in place (the shell asks for a
// file only when the board has none yet). Resolves to whether it was written.
// Save As (`to` 'choose') always asks where, proposing the board's own file. The board is taken as
// it is now, before the call returns (a quit waits on the save it starts); a big one goes to the
// shell in pieces, made while the page keeps answering, with a sign that stays until it is written.
/** @param {{to?: 'document' | 'choose'}} [options] */
async function saveJSON({ to = 'document' } = {}) {
  // A copy of every item (their fields are plain values): edits made while it goes out are not in it.
  const doc = boardView.toJSON();
  const sent = { revision, at: Date.now(), mark: currentMark() };
  const big = boardBytes() > SAVE_PIECE_CHARS;
  const saving = request('saveJSON', big ? { pieces: boardPieces(doc, SAVE_PIECE_CHARS), to } : { json: JSON.stringify(doc), to });
  const busy = big ? progress(i18n.t('saving')) : null;
  return saving.then((result) => {
    busy?.();
    if (result.ok !== true) return false;
    if (typeof result.name === 'string' && result.name) boardName = result.name;
    savedMark = sent.mark;
    if (sent.revision === revision) {
      markClean(sent.at);
    } else {
      recovery.settled(sent.at, false);
      refreshChrome();  // the title names the file
      followUndo();     // changed meanwhile, and perhaps undone back to what was written
    }
    // Written over its own file: plainly saved; a name picked in the chooser is named.
    toast(result.inPlace === true ? i18n.t('savedInPlace') : i18n.t('savedAs', { name: String(result.name ?? '') }));
    return true;
  });
}

// File ▸ New, once the shell has asked about unsaved work: an empty board of no file. Answers the
// shell that it did.
function newBoard() {
  boardView.load({ items: [] });
  boardName = null;
  nameNext = false;
  savedMark = currentMark();
  markClean();
  return true;
}

// A board whose text is longer than this goes to the shell in pieces of this size: a message of a
// megabyte costs the web view about a tenth of a second to hand over, during which the page stands.
const SAVE_PIECE_CHARS = 1 << 20;

// About how long the board's text is: its pictures and files are nearly all of it.
function boardBytes() {
  let n = 0;
  for (const it of boardView.items) n += (it.src?.length ?? 0) + (it.dataUrl?.length ?? 0) + (it.text?.length ?? 0);
  return n;
}

// A toast that stays until the function returned is called (unless another toast took its place).
function progress(text) {
  toast(text);
  clearTimeout(toastTimer);
  const el = $('toast'), shown = el.textContent;
  return () => { if (el.textContent === shown) el.className = ''; };
}

// Exports and files handed out: how each ended is told by the saveResult event below.
function save(action, fields) {
  request(action, fields);
}

// The opened board takes the place of this one: unsaved changes are offered a save first (Save,
// Don't Save, Cancel), as the shell asks when a board is handed over from outside. After Save, the
// Open chooser comes once the save is confirmed; a cancelled or failed save opens nothing.
async function openJSON() {
  if (dirty && !boardView.isEmpty()) {
    const answer = await askChoice(i18n.t('saveBeforeOpen'),
      [['save', 'save'], ['dontSave', 'discard'], ['cancel', null]], innerWidth / 2 - 160, innerHeight / 3);
    if (!answer) return;
    if (answer === 'save') {
      if (await saveJSON()) send('openJSON');
      return;
    }
  }
  send('openJSON');
}

// Exports draw every picture on the board, including those never scrolled into view: each waits
// for all of them to be loaded first.
async function exportImage(ext, ratioIndex = 0) {
  await boardView.readyPictures();
  const rect = boardView.exportRect(ratioIndex);
  if (!rect) return toast(i18n.t('emptyBoard'));
  const canvas = boardView.drawRegion(rect);
  const dataUrl = ext === 'jpg' ? canvas.toDataURL('image/jpeg', 0.92) : canvas.toDataURL('image/png');
  save('saveImage', { dataUrl, ext: ext === 'jpg' ? 'jpg' : 'png' });
}

async function exportPDF() {
  await boardView.readyPictures();
  const rect = boardView.exportRect(0);
  if (!rect) return toast(i18n.t('emptyBoard'));
  save('savePDF', { dataUrl: boardView.drawRegion(rect).toDataURL('image/jpeg', 0.92) });
}

async function exportPDFPages() {
  const rects = boardView.pageRects();
  if (!rects.length) return toast(i18n.t('emptyBoard'));
  if (rects.length > 1) toast(i18n.t('exportingPages', { i: 1, n: rects.length }));
  await boardView.readyPictures();
  // Drawing and compressing a long template's pages takes seconds: the user sees how far it has
  // got, and the window answers between pages.
  const pages = [];
  let shown = 0;
  for (const [i, r] of rects.entries()) {
    if (rects.length > 1 && performance.now() - shown > 150) {
      toast(i18n.t('exportingPages', { i: i + 1, n: rects.length }));
      await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
      shown = performance.now();
    }
    pages.push(boardView.drawRegion(r, 1800).toDataURL('image/jpeg', 0.92));
  }
  save('savePDFPages', { pages });
  return pages.length;
}

function selectedAsFile() {
  const it = boardView.selected();
  if (!it) return null;
  if (it.type === 'file') return { name: it.name, dataUrl: base64DataUrl(it.dataUrl) };
  if (it.type === 'note') return { name: 'note.txt', dataUrl: `data:text/plain;base64,${utf8ToBase64(it.text)}` };
  const mime = (/^data:([^;,]+)/.exec(it.src) || [])[1] || 'image/png';
  const ext = { 'image/jpeg': 'jpg', 'image/svg+xml': 'svg' }[mime] || mime.split('/')[1] || 'png';
  // Template pages are named "<template> <page>"; each page gets a file name of its own.
  const page = it.type === 'paper' ? /^(.*?)(?:\.pdf)?\s+(\d+)$/i.exec(it.name || '') : null;
  const base = page ? `${page[1] || 'template'}-p${page[2]}` : (it.name || 'image').replace(/\.[^.]*$/, '');
  return { name: `${base}.${ext}`, dataUrl: base64DataUrl(it.src) };
}

// The shell reads only base64 data URLs; a board may hold plain or percent-encoded ones (an SVG
// written inline), whose bytes are the UTF-8 of the text with each %XX standing for one byte.
export function base64DataUrl(url) {
  const m = /^data:([^,]*),/i.exec(url);
  if (!m || /;base64$/i.test(m[1])) return url;
  const body = url.slice(m[0].length);
  const bytes = [];
  for (let i = 0; i < body.length; i++) {
    if (body[i] === '%' && /^[0-9a-f]{2}$/i.test(body.substr(i + 1, 2))) {
      bytes.push(parseInt(body.substr(i + 1, 2), 16));
      i += 2;
    } else {
      const cp = body.codePointAt(i);
      if (cp > 0xffff) i++;
      bytes.push(...new TextEncoder().encode(String.fromCodePoint(cp)));
    }
  }
  let bin = '';
  for (let i = 0; i < bytes.length; i += 0x8000) bin += String.fromCharCode(...bytes.slice(i, i + 0x8000));
  return `data:${m[1] || 'text/plain;charset=US-ASCII'};base64,${btoa(bin)}`;
}

function utf8ToBase64(text) {
  const bytes = new TextEncoder().encode(text);
  let bin = '';
  for (let i = 0; i < bytes.length; i += 0x8000) bin += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(bin);
}

// ---- PDF templates ---------------------------------------------------------------------------------

// Imports in progress by request id, for scripts that watch one (the import benchmark); the page
// itself keeps each import's state with its request.
const pdfJobs = new Map();  // reqId → { name, x, y, count, chain, ready, timer, last }

export function importPdf(name, dataUrl) {
  const origin = boardView.visibleCentre();
  const rightmost = boardView.items.reduce((m, it) => Math.max(m, it.x + it.w), -Infinity);
  const x = Number.isFinite(rightmost) ? rightmost + 80 : Math.round(origin.x - 300);
  const job = { name, x, y: Math.round(origin.y - 300), count: 0, total: 0, chain: Promise.resolve(), ready: [], timer: null, last: null };
  const rendering = request('renderPDF', { name, dataUrl }, { onPage: (page) => pdfPage(job, page) });
  pdfJobs.set(rendering.reqId, job);
  rendering.then(({ locked, pageCount }) => job.chain.then(() => {
    showPdfPages(job);
    pdfJobs.delete(rendering.reqId);
    if (job.count && pageCount) toast(i18n.t('pdfTruncated', { n: job.total, total: pageCount }));
    else if (job.count) toast(i18n.t('pdfDone', { n: job.count }));
    else toast(i18n.t(locked ? 'pdfLocked' : 'pdfFailed'), 'error');
  }));
  toast(i18n.t('pdfReading'));
  return rendering.reqId;
}

// ---- network -------------------------------------------------------------------------------------

function httpUrl(text) {
  try {
    const u = new URL(text);
    return ['http:', 'https:'].includes(u.protocol) ? u.href : null;
  } catch { return null; }
}

// A shown text is kept as given (a shell text, or a function of the language) so that a language
// change can show it again in the new language.
function shownText(text) {
  return typeof text === 'function' ? text() : i18n.native(String(text));
}

function setStatus(id, text, kind = '') {
  const el = $(id);
  el.shownSource = text;
  el.textContent = shownText(text);
  el.className = `status ${kind}`;
}

function retranslateShown() {
  for (const el of [$('fetch-status'), $('ai-reply')])
    if (el.shownSource !== undefined) el.textContent = shownText(el.shownSource);
}

function fetchImage(url) {
  const href = httpUrl(url);
  if (!href) {
    setStatus('fetch-status', () => i18n.t('badUrl'), 'error');
    return null;
  }
  setStatus('fetch-status', () => i18n.t('fetching'));
  const fetching = request('fetchImage', { url: href }, { timeout: FETCH_TIMEOUT_MS });
  fetching.then((result) => {
    if (typeof result.error === 'string') {
      setStatus('fetch-status', result.error, 'error');
      toast(result.error, 'error');
      return;
    }
    const name = href.split(/[?#]/)[0].split('/').pop() || 'image';
    addImage(result.dataUrl, name)
      .then(() => setStatus('fetch-status', () => i18n.t('fetched'), 'ok'))
      .catch(() => setStatus('fetch-status', () => i18n.t('notImage'), 'error'));
  }, () => setStatus('fetch-status', () => i18n.t('noReply'), 'error'));
  return fetching.reqId;
}

function showAiReply(text, isError = false) {
  const el = $('ai-reply');
  el.shownSource = text;
  el.textContent = shownText(text);
  el.classList.toggle('error', isError);
  if (isError) toast(el.textContent, 'error');
}

// The AI panel's request and its streamed answer live in ai.js.
const aiPanel = createAiPanel({ stream, prefs, show: showAiReply });
const sendAi = () => aiPanel.send();

// ---- vault -----------------------------------------------------------------------------------------

// Every vault answer says where keys are kept, and names a vault file the shell had to set aside
// (said once).
let vaultSetAsideTold = false;
function vaultAnswer(reply) {
  if (reply.backend) showBackend(reply.backend);
  if (typeof reply.setAside === 'string' && !vaultSetAsideTold) {
    vaultSetAsideTold = true;
    toast(i18n.t('vaultSetAside', { path: reply.setAside }), 'error');
  }
  return reply;
}

function storeKey() {
  const keyId = $('ai-key-id').value.trim();
  const value = $('ai-key-value').value;
  if (!keyId || !value) return;
  const origins = keyOrigins($('ai-provider').value, $('ai-url').value);
  request('vaultSet', { keyId, value, origins }).then(vaultAnswer).then((reply) => {
    if (reply.ok) toast(`${i18n.t('keyStored')}: ${reply.keyId} ${reply.hint}`);
    else toast(i18n.t('keyFailed'), 'error');
    refreshKeys();
  });
  $('ai-key-value').value = '';  // the page does not keep secrets around
  prefs.set('ai.keyId', keyId);
}

// Asks for the stored keys; returns the request's id.
function refreshKeys() {
  const listing = request('vaultList');
  listing.then(vaultAnswer).then((reply) => {
    if (Array.isArray(reply.keys)) renderKeys(reply.keys.filter((k) => typeof k === 'string'));
  });
  return listing.reqId;
}

// "Stored in: …", with the store's name in the page's language; shown again on a language change.
function showBackend(backend = $('keys-backend').dataset.backend) {
  if (!backend) return;
  const el = $('keys-backend');
  el.dataset.backend = backend;
  const key = { keychain: 'backendKeychain', file: 'backendFile' }[backend];
  el.textContent = i18n.t('labelled', { label: i18n.t('backend'), value: key ? i18n.t(key) : String(backend) });
}

function renderKeys(keys) {
  const list = $('keys-list');
  list.textContent = '';
  if (!keys.length) {
    const li = document.createElement('li');
    li.className = 'muted';
    li.dataset.i18n = 'noKeys';  // relabelled with the rest on a language change
    li.textContent = i18n.t('noKeys');
    list.append(li);
    return;
  }
  for (const keyId of keys) {
    const li = document.createElement('li');
    li.dataset.keyId = keyId;
    const name = document.createElement('span');
    name.className = 'key-name';
    name.textContent = keyId;
    const hint = document.createElement('code');
    hint.className = 'key-hint';
    const del = document.createElement('button');
    del.className = 'small';
    del.textContent = '×';
    del.dataset.i18nTitle = 'remove';
    del.title = i18n.t('remove');
    del.addEventListener('click', () => request('vaultDelete', { keyId }).then(vaultAnswer).then((reply) => {
      if (reply.ok) toast(i18n.t('keyRemoved'));
      else toast(i18n.t('keyRemoveFailed'), 'error');
      refreshKeys();
    }));
    li.append(name, hint, del);
    list.append(li);
    request('vaultStatus', { keyId }).then(vaultAnswer).then((reply) => {
      hint.textContent = reply.has ? reply.hint : '';
    });
  }
}

// ---- settings: language and zoom sensitivity ---------------------------------------------------------

function applyLanguage(code) {
  if (!i18n.set(code)) return false;
  prefs.set('lang', code);
  i18n.apply();
  fillSelects();
  showBackend();
  refreshChrome();
  retranslateShown();
  // The shell rebuilds its menu for the new language with the default sensitivity checked.
  send('menuState', { sens: boardView.sens });
  return true;
}

function setSensitivity(value, tellShell) {
  if (!SENS_FACTORS.includes(value)) return;
  boardView.sens = value;
  prefs.set('sens', String(value));
  $('sens-select').value = String(value);
  if (tellShell) send('menuState', { sens: value });
}

function fillSelects() {
  const lang = $('lang-select');
  lang.textContent = '';
  for (const code of LANG_CODES) lang.add(new Option(code === 'auto' ? i18n.t('follow') : LANG_NAMES[code], code));
  lang.value = i18n.code;
  const sens = $('sens-select');
  sens.textContent = '';
  SENS_FACTORS.forEach((f, i) => sens.add(new Option(i18n.t('sensNames')[i], String(f))));
  sens.value = String(boardView.sens);
}

// ---- what the shell tells the page -----------------------------------------------------------------

on('menuAction', (command) => {
  const [verb, arg, extra] = String(command).split(':');
  if (command === 'openJSON') return openJSON();
  if (command === 'saveJSON') return saveJSON();
  if (command === 'saveAs') return saveJSON({ to: 'choose' });
  if (command === 'new') return newBoard();
  if (command === 'undo') return undo();
  if (command === 'redo') return redo();
  if (command === 'importPaper') return send('openPaperPDF');
  if (verb === 'zoom') return boardZoomCommand(arg);
  if (verb === 'zoomsens') {
    setSensitivity(Number(arg), false);
    return toast(i18n.t('zoomSensSet', { name: i18n.t('sensNames')[SENS_FACTORS.indexOf(Number(arg))] ?? arg }));
  }
  if (verb === 'export') {
    if (arg === 'png' || arg === 'jpg') return exportImage(arg, Number(extra) || 0);
    if (arg === 'pdf') return boardView.items.some((it) => it.type === 'paper') ? exportPDFPages() : exportPDF();
    if (['docx', 'pptx', 'odt', 'odp'].includes(arg)) return exportOffice(arg, Number(extra) || 0);
  }
});

on('setLang', (code) => { applyLanguage(String(code)); });
on('saveJSON', () => { saveJSON(); });
on('toast', (text) => toast(text));

on('saveResult', (result) => {
  if (result.reason === 'failed') toast(i18n.t('writeFailed'), 'error');
});

on('quitHasContent', () => dirty && !boardView.isEmpty());
// A shell that shows a save chooser waits for its outcome before quitting, and keeps running if it
// is cancelled; the recovery copy covers any other ending.
on('quitFlush', () => {
  recovery.flush();
  saveJSON();
});
on('quitDiscard', () => {
  recovery.settled(Date.now(), true);
  dirty = false;
});

on('restore', (text) => {
  nameNext = false;
  let doc;
  try {
    doc = JSON.parse(text);
  } catch {
    return toast(i18n.t('badDocument'), 'error');
  }
  try {
    boardView.load(doc);
    boardName = null;
    nameNext = true;
    savedMark = currentMark();
    markClean();
    toast(i18n.t('opened'));
  } catch {
    toast(i18n.t('badDocument'), 'error');
  }
});

// The name of the file a board was just opened from; a name after a document that could not be
// opened names nothing.
on('boardOpened', (name) => {
  if (!nameNext) return;
  nameNext = false;
  if (typeof name !== 'string' || !name) return;
  boardName = name;
  refreshChrome();
});

// A big board on its way: the share handed over so far, until the board shows (the last share
// stays up while the page reads the whole text).
on('openProgress', (name, fraction) => {
  const pct = Math.min(99, Math.max(0, Math.floor(Number(fraction) * 100) || 0));
  toast(i18n.t('opening', { name: String(name), pct }));
});

// A file given from outside that could not be opened: why, in the page's language.
on('openFailed', (name, reason) => {
  const key = { missing: 'openMissing', directory: 'openDirectory', unreadable: 'openUnreadable',
    notBoard: 'openNotBoard', tooLarge: 'dropTooLarge' }[reason] || 'openUnreadable';
  toast(i18n.t(key, { name: String(name), limit: i18n.size(26214400) }), 'error');
});

on('paper', (paper) => {
  if (paper && typeof paper.dataUrl === 'string') importPdf(String(paper.name || 'template.pdf'), paper.dataUrl);
});

// Rendered pages reach the board in batches: every change of the board costs the web view a frame,
// and at the renderer's pace a frame per page takes about as long as rendering the page did. The
// first page shows at once; the rest follow a batch at a time while the document renders.
const PDF_BATCH_MS = 200;

function showPdfPages(job) {
  clearTimeout(job.timer);
  job.timer = null;
  for (const { size, dataUrl, index, total } of job.ready.splice(0)) {
    const w = 600, h = Math.round(600 * size.height / Math.max(1, size.width));
    const page = boardView.add({ type: 'paper', src: dataUrl, name: `${job.name} ${index + 1}`, x: job.x, y: job.y, w, h }, 'paper');
    if (!job.count) boardView.reveal(page);  // the first page shows where the template went
    job.y += h + 24;
    job.count++;
    job.last = { i: index + 1, n: total };
  }
  if (job.last) toast(i18n.t('renderingPdf', job.last));
}

function pdfPage(job, { index, total, dataUrl }) {
  job.total = total;  // the pages attempted: fewer than the document's when it is long
  // Pages are laid out top to bottom in the order they arrive; measuring keeps that order. The size
  // comes from the JPEG's header when it can: loading the image only to measure it doubles what
  // each page costs the shell.
  const measure = () => jpegSize(dataUrl) ||
    loadImage(dataUrl).then((img) => ({ width: img.naturalWidth, height: img.naturalHeight }));
  job.chain = job.chain.then(measure).then((size) => {
    job.ready.push({ size, dataUrl, index, total });
    if (!job.count) showPdfPages(job);
    else if (!job.timer) job.timer = setTimeout(() => showPdfPages(job), PDF_BATCH_MS);
  }).catch(() => {});
}

// ---- controls ------------------------------------------------------------------------------------

function bindControls() {
  $('btn-note').addEventListener('click', () => addNote());
  $('btn-open').addEventListener('click', openJSON);
  $('btn-save').addEventListener('click', saveJSON);
  $('btn-import').addEventListener('click', () => send('openPaperPDF'));
  $('btn-delete').addEventListener('click', () => undoStep(() => boardView.removeSelected()));
  $('btn-openfile').addEventListener('click', () => {
    const f = selectedAsFile();
    if (f) send('openFile', f);
  });
  $('btn-savefile').addEventListener('click', () => {
    const f = selectedAsFile();
    if (f) save('saveFile', f);
  });
  for (const button of /** @type {NodeListOf<HTMLElement>} */ (document.querySelectorAll('[data-export]'))) {
    button.addEventListener('click', () => {
      const ratio = Number($('export-ratio').value) || 0;
      const kind = button.dataset.export;
      if (kind === 'png' || kind === 'jpg') exportImage(kind, ratio);
      else if (kind === 'pdf') exportPDF();
      else if (kind === 'docx' || kind === 'pptx') exportOffice(kind, ratio);
      else exportPDFPages();
      $('export-menu').open = false;
    });
  }
  $('lang-select').addEventListener('change', (e) => {
    if (applyLanguage(e.target.value)) send('langChanged', { lang: e.target.value });
  });
  $('sens-select').addEventListener('change', (e) => setSensitivity(Number(e.target.value), true));
  $('btn-panel').addEventListener('click', () => {
    const hidden = $('panel').classList.toggle('hidden');
    $('btn-panel').setAttribute('aria-pressed', String(!hidden));
    if (!hidden) refreshKeys();
  });
  $('fetch-form').addEventListener('submit', (e) => { e.preventDefault(); fetchImage($('fetch-url').value.trim()); });
  $('key-form').addEventListener('submit', (e) => { e.preventDefault(); storeKey(); });
  $('ai-send').addEventListener('click', sendAi);
  $('ai-add').addEventListener('click', () => aiPanel.answer() && addNote(aiPanel.answer()));
  $('keys-refresh').addEventListener('click', refreshKeys);

  document.addEventListener('keydown', (e) => {
    const ctrl = e.ctrlKey || e.metaKey;
    const typing = /** @type {Element} */ (e.target).closest('input, textarea, select, [contenteditable="true"]');
    if (ctrl && e.key.toLowerCase() === 's') { e.preventDefault(); saveJSON(); }
    else if (ctrl && e.key.toLowerCase() === 'o') { e.preventDefault(); openJSON(); }
    else if (ctrl && (e.key === '=' || e.key === '+')) { e.preventDefault(); boardView.setZoom(boardView.zoom * 1.2); }
    else if (ctrl && e.key === '-') { e.preventDefault(); boardView.setZoom(boardView.zoom / 1.2); }
    else if (ctrl && e.key === '0') { e.preventDefault(); boardView.setZoom(1); }
    else if (!typing && (e.key === 'Delete' || e.key === 'Backspace') && boardView.selectedId !== null) {
      e.preventDefault();
      boardView.remove(boardView.selectedId);
    } else if (e.key === 'Escape' && !typing) boardView.select(null);
  });
}

// ---- start ---------------------------------------------------------------------------------------

// Unsaved work from last time (never confirmed saved, never dropped): shown again, unsaved.
async function restoreRecovery() {
  const copy = /** @type {any} */ (await recovery.take());  // { at, doc } or null
  // Whatever the user started meanwhile is not replaced.
  if (!copy || !boardView.isEmpty() || dirty) return;
  try {
    boardView.load(copy.doc);
    boardName = null;
    savedMark = null;  // never saved: no undo makes it clean
    if (!boardView.isEmpty()) {
      dirty = true;
      revision++;
      refreshChrome();
      toast(i18n.t('recovered'));
    }
  } catch { /* an unreadable copy is dropped */ }
}

function start() {
  i18n.set(prefs.get('lang', 'auto'));
  boardView.sens = SENS_FACTORS.includes(Number(prefs.get('sens'))) ? Number(prefs.get('sens')) : 1.0;
  $('ai-url').value = prefs.get('ai.url', 'http://127.0.0.1:11434/v1/chat/completions');
  $('ai-model').value = prefs.get('ai.model', 'llama3.2');
  $('ai-key-id').value = prefs.get('ai.keyId', 'ai-key');
  i18n.apply();
  fillSelects();
  bindControls();
  refreshChrome();
  // Tell the shell's menu where the sensitivity stands, and show which keys are stored.
  send('menuState', { sens: boardView.sens });
  refreshKeys();
}

start();
// The recovery copy is offered once the page's other scripts have run (undo.js records the board's
// changes from then on).
document.addEventListener('DOMContentLoaded', () => restoreRecovery(), { once: true });

// Small hooks for scripted use and end-to-end tests; the interface does not depend on them.
window.board = {
  addNote: (text, x, y) => addNote(text, x !== undefined ? { x, y } : undefined).id,
  addImage: (dataUrl, name) => addImage(dataUrl, name).then((it) => it.id),
  addFile,
  doc: () => boardView.toJSON(),
  load: (doc) => { boardView.load(doc); savedMark = currentMark(); markClean(); },
  select: (id) => boardView.select(id),
  remove: (id) => boardView.remove(id),
  isDirty: () => dirty,
  exportImage, exportPDF, exportPDFPages, importPdf, fetchImage, sendAi, storeKey, refreshKeys,
  aiReply: () => $('ai-reply').textContent,
  lang: () => i18n.code,
  t: (key) => i18n.t(key),
  zoom: () => boardView.zoom,
  sens: () => boardView.sens,
};

// Names of the page that scripts, tests and benchmarks use from outside, and that the classic
// scripts loaded after this module (undo.js) find the board by.
Object.assign(window, { $, boardView, addNote, loadImage, importPdf, pdfJobs });
