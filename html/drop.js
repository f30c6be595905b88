// SPDX-License-Identifier: GPL-3.0-or-later
// The page's drag and drop: what the shell reads for the page (files, links and text from other
// applications) and what it leaves to the web view (drags inside the page) land on the board
// here, and the clipboard's files and picture the shell reads for a paste. Dropping never lets the
// web view follow what was dropped: every drop is taken by the page.
// @ts-check
import { on, send } from './bridge.js';
import { addNote, boardView, importPdf, loadImage, toast } from './app.js';

const DROP_LIMIT_BYTES = 26214400;  // the same limit the shell puts on files and images it reads
const DROP_GAP = 24;                // between items dropped side by side

// Board coordinates of a point given in the window's.
function boardPointAt(clientX, clientY) {
  return boardView.pointAt(clientX, clientY);
}

function readAsDataUrl(file) {
  return new Promise((resolve, reject) => {
    const reader = new FileReader();
    reader.onload = () => resolve(String(reader.result));
    reader.onerror = () => reject(reader.error || new Error('read'));
    reader.readAsDataURL(file);
  });
}

function isPdfFile(file) {
  return file.type === 'application/pdf' || /\.pdf$/i.test(file.name);
}

// Lays items out left to right from `at`, each centred on its line; `cursor.x` moves past each.
function placeInRow(cursor, w, h) {
  return boardView.placeInRow(cursor, w, h);
}

async function dropImageFile(file, dataUrl, cursor) {
  const img = await loadImage(dataUrl);
  const scale = Math.min(1, 480 / Math.max(img.naturalWidth, img.naturalHeight, 1));
  const w = Math.max(1, Math.round(img.naturalWidth * scale)), h = Math.max(1, Math.round(img.naturalHeight * scale));
  return boardView.add({ type: 'image', src: dataUrl, name: file.name, w, h, ...placeInRow(cursor, w, h) });
}

function dropFileItem(file, dataUrl, cursor) {
  const w = 220, h = 64;
  // A file the browser cannot type still keeps its bytes; the data URL then says octet-stream.
  const mime = file.type || 'application/octet-stream';
  const data = dataUrl.replace(/^data:[^,]*?(;base64)?,/i, (m, b64) => `data:${mime}${b64 || ''},`);
  return boardView.add({ type: 'file', name: file.name || 'file', mime, dataUrl: data, w, h, ...placeInRow(cursor, w, h) });
}

// Asks whether dropped PDFs become template pages or file items; resolves to 'template', 'file'
// or null when the question is dismissed.
function askPdfUse(count, clientX, clientY) {
  return askChoice(i18n.t('dropPdfQuestion', { n: count }),
    [['dropPdfTemplate', 'template'], ['dropPdfFile', 'file'], ['cancel', null]], clientX, clientY);
}

// A question with a button per choice ([text key, answer]) near a window point; resolves to the
// chosen answer, or null when it is dismissed (Escape). The first button has the focus.
export function askChoice(question, choices, clientX, clientY) {
  document.getElementById('drop-choice')?.remove();
  return new Promise((resolve) => {
    const box = document.createElement('div');
    box.id = 'drop-choice';
    box.setAttribute('role', 'dialog');
    const text = document.createElement('p');
    text.textContent = question;
    const row = document.createElement('div');
    row.className = 'row';
    const done = (answer) => {
      box.remove();
      document.removeEventListener('keydown', onKey, true);
      resolve(answer);
    };
    const onKey = (e) => {
      if (e.key === 'Escape') { e.preventDefault(); done(null); }
    };
    for (const [key, answer] of choices) {
      const b = document.createElement('button');
      b.textContent = i18n.t(key);
      b.dataset.answer = answer ?? '';
      b.addEventListener('click', () => done(answer));
      row.append(b);
    }
    box.append(text, row);
    box.style.left = `${Math.max(8, Math.min(clientX, window.innerWidth - 320))}px`;
    box.style.top = `${Math.max(8, Math.min(clientY, window.innerHeight - 120))}px`;
    document.body.append(box);
    document.addEventListener('keydown', onKey, true);
    box.querySelector('button').focus();
  });
}

// Files dropped at a window point: images become image items, PDFs templates or file items as the
// user chooses, everything else file items; all side by side from the drop point. Each file is a
// File or a record of the shell's ({ name, type, size, dataUrl }).
async function dropFiles(files, clientX, clientY, refusedNames = []) {
  const at = boardPointAt(clientX, clientY);
  const cursor = { x: at.x, y: at.y };
  const accepted = files.filter((file) => file.size <= DROP_LIMIT_BYTES);
  const refused = [...files.filter((file) => file.size > DROP_LIMIT_BYTES).map((f) => f.name), ...refusedNames];
  const pdfs = accepted.filter(isPdfFile);
  const pdfUse = pdfs.length ? await askPdfUse(pdfs.length, clientX, clientY) : null;
  let added = 0;
  await undoGroup(async () => {
    for (const file of accepted) {
      if (isPdfFile(file) && pdfUse === null) continue;
      let dataUrl;
      try {
        dataUrl = typeof file.dataUrl === 'string' ? file.dataUrl : await readAsDataUrl(file);
      } catch {
        toast(i18n.t('dropUnreadable', { name: file.name }), 'error');
        continue;
      }
      if (isPdfFile(file) && pdfUse === 'template') {
        importPdf(file.name, dataUrl.replace(/^data:[^,]*,/, 'data:application/pdf;base64,'));
        added++;
      } else if (/^image\//i.test(file.type) && !isPdfFile(file)) {
        await dropImageFile(file, dataUrl, cursor).catch(() => dropFileItem(file, dataUrl, cursor));
        added++;
      } else {
        dropFileItem(file, dataUrl, cursor);
        added++;
      }
    }
  });
  // A refusal outlasts the count of what was added: it is the part the user must hear about.
  if (refused.length) {
    const name = refused.join(', ');
    toast(i18n.t('dropTooLarge', { name, limit: i18n.size(DROP_LIMIT_BYTES) }), 'error');
  } else if (added) {
    toast(i18n.t('dropped', { n: added }));
  }
  return added;
}

// The text of an HTML fragment, read without running or loading anything in it.
function htmlToText(html) {
  const doc = new DOMParser().parseFromString(String(html), 'text/html');
  for (const el of doc.querySelectorAll('script, style, template')) el.remove();
  for (const el of doc.querySelectorAll('br')) el.replaceWith('\n');
  for (const el of doc.querySelectorAll('p, div, li, tr, h1, h2, h3, h4, h5, h6')) el.append('\n');
  // Markup copied out of a web view keeps its spaces as no-break spaces; as text they are spaces.
  return (doc.body?.textContent || '').replace(/\u00a0/g, ' ').replace(/\n{3,}/g, '\n\n').trim();
}

// Links in a text/uri-list: comment lines dropped, one address a line.
function uriListLinks(list) {
  return String(list).split(/\r?\n/).map((l) => l.trim()).filter((l) => l && !l.startsWith('#'));
}

// Text, HTML or links dropped at a window point become notes there, side by side.
function dropTexts(texts, clientX, clientY) {
  const at = boardPointAt(clientX, clientY);
  const cursor = { x: at.x, y: at.y };
  undoGroup(() => {
    for (const text of texts) {
      const w = 220, h = 140;  // a note's size, as addNote makes it
      const pos = placeInRow(cursor, w, h);
      addNote(text, { x: pos.x + w / 2, y: pos.y + h / 2 });
    }
  });
  toast(i18n.t('dropped', { n: texts.length }));
  return texts.length;
}

// What a DataTransfer holds that is not files, as note texts: links first, then HTML as its text,
// then plain text.
function dropTextsOf(dt) {
  const links = uriListLinks(dt.getData('text/uri-list')).filter((l) => !/^file:/i.test(l));
  if (links.length) return links;
  const html = dt.getData('text/html');
  if (html) {
    const text = htmlToText(html);
    if (text) return [text];
  }
  const plain = dt.getData('text/plain');
  return plain.trim() ? [plain] : [];
}

function isEditable(target) {
  return target instanceof Element && !!target.closest('input, textarea, [contenteditable="true"]');
}

function hasFiles(dt) {
  return !!dt && Array.from(dt.types || []).includes('Files');
}

function bindDrops() {
  // Every drag is accepted by the page so that the web view never follows it; text over a text
  // field is left to the field.
  document.addEventListener('dragover', (e) => {
    e.preventDefault();
    if (e.dataTransfer) e.dataTransfer.dropEffect = 'copy';
  });
  document.addEventListener('drop', (e) => {
    const dt = e.dataTransfer;
    if (isEditable(e.target) && !hasFiles(dt)) return;
    e.preventDefault();
    if (!dt) return;
    const files = Array.from(dt.files || []);
    if (files.length) {
      dropFiles(files, e.clientX, e.clientY);
      return;
    }
    const texts = dropTextsOf(dt);
    if (texts.length) dropTexts(texts, e.clientX, e.clientY);
  });
}

// The shell's item records as files and texts for the drops above; records of files the shell
// left out for their size give their names.
function shellRecords(items) {
  const files = [];
  const texts = [];
  const refused = [];
  for (const item of Array.isArray(items) ? items : []) {
    if (!item || typeof item !== 'object') continue;
    if (item.kind === 'refused' && typeof item.name === 'string') refused.push(item.name);
    if (item.kind === 'text' && typeof item.text === 'string') texts.push(item.text);
    if (item.kind === 'file' && typeof item.dataUrl === 'string' && item.dataUrl.startsWith('data:')) {
      const type = typeof item.mime === 'string' ? item.mime : '';
      // The size of the bytes the base64 payload holds, its padding not counted.
      const payload = item.dataUrl.length - item.dataUrl.indexOf(',') - 1;
      const padding = item.dataUrl.endsWith('==') ? 2 : item.dataUrl.endsWith('=') ? 1 : 0;
      files.push({ name: typeof item.name === 'string' && item.name ? item.name : 'file', type,
        size: Math.floor(payload * 3 / 4) - padding, dataUrl: item.dataUrl });
    }
  }
  return { files, texts, refused };
}

// The text field at a window point, if any (the shell reads drags for the whole window).
function editableAt(clientX, clientY) {
  const el = document.elementFromPoint(clientX, clientY);
  if (!el || !isEditable(el)) return null;
  return /** @type {HTMLElement} */ (el.closest('input, textarea, [contenteditable="true"]'));
}

// Text dropped on a text field goes into it, at its caret, as typing would put it there.
function dropIntoField(field, texts) {
  const text = texts.join('\n');
  field.focus();
  if (document.execCommand('insertText', false, text)) return;
  if (field instanceof HTMLInputElement || field instanceof HTMLTextAreaElement)
    field.setRangeText(text, field.selectionStart ?? 0, field.selectionEnd ?? 0, 'end');
}

// Lands the shell's records at a window point: texts below the files when both came, or into the
// text field they were dropped on.
function dropShellRecords({ files, texts, refused }, clientX, clientY) {
  const field = texts.length && !files.length ? editableAt(clientX, clientY) : null;
  if (field) return dropIntoField(field, texts);
  if (texts.length) dropTexts(texts, clientX, clientY + (files.length ? 100 : 0));
  if (files.length || refused.length) dropFiles(files, clientX, clientY, refused);
}

function finiteOr(value, fallback) {
  return typeof value === 'number' && Number.isFinite(value) ? value : fallback;
}

// Pictures dragged without a file arrive as floatDrop and land in the middle of what is shown.
// Files, links and text dragged from other applications come as fileDrop, at the drop point: the
// web view neither hands the page the contents of files nor lands every text drag, so the shell
// reads them, but only for a page that listens for them (the kit asks the shell on every load).
function bindShellDrops() {
  on('floatDrop', (items) => {
    if (!Array.isArray(items)) return;
    const { files, texts, refused } = shellRecords(items);
    const r = boardView.viewport.getBoundingClientRect();
    const cx = r.left + r.width / 2, cy = r.top + r.height / 2;
    if (texts.length) dropTexts(texts, cx - 110 * boardView.zoom, cy + (files.length ? 100 : 0));
    if (files.length || refused.length) dropFiles(files, cx - 110 * Math.min(files.length - 1, 3) * boardView.zoom, cy, refused);
  });
  on('fileDrop', (drop) => {
    if (!drop || typeof drop !== 'object' || !Array.isArray(drop.items)) return;
    const r = boardView.viewport.getBoundingClientRect();
    dropShellRecords(shellRecords(drop.items), finiteOr(drop.x, r.left + r.width / 2), finiteOr(drop.y, r.top + r.height / 2));
  });
  // The clipboard's files or picture come just before the paste event they belong to, which takes
  // them (board_keys.js); a paste event that never came leaves them behind for a moment only.
  on('pasteItems', (paste) => {
    if (!paste || typeof paste !== 'object' || !Array.isArray(paste.items)) return;
    const { files, refused } = shellRecords(paste.items);
    shellPaste = files.length || refused.length ? { files, refused, at: Date.now() } : null;
  });
}

const SHELL_PASTE_MS = 5000;
let shellPaste = null;

// What the shell read from the clipboard for the paste event now running, or null; taken once.
function takeShellPaste() {
  const paste = shellPaste;
  shellPaste = null;
  return paste && Date.now() - paste.at < SHELL_PASTE_MS ? paste : null;
}

// Files (Files or the shell's records) pasted or dropped at a window point, as a drop lands them.
function landFilesAt(files, clientX, clientY, refused = []) {
  return dropFiles(files, clientX, clientY, refused);
}

// After the page's copy event has written the clipboard, a copied picture replaces it, so that
// other applications get the picture itself (with the HTML and text the copy wrote).
function copyPictureForOthers(dataUrl, html, text) {
  if (typeof dataUrl !== 'string' || !dataUrl.startsWith('data:')) return;
  setTimeout(() => send('copyImage', { dataUrl, html, text }), 0);
}

bindDrops();
bindShellDrops();
// For the board's paste and copy (board_keys.js, a classic script), and for scripts and tests that
// place drops.
Object.assign(window, { boardPointAt, takeShellPaste, landFilesAt, copyPictureForOthers });
