// SPDX-License-Identifier: GPL-3.0-or-later
// The board from the keyboard and the clipboard, and what assistive technology is told about its
// items. Board keys act where no text field has the focus; Ctrl+1 and Ctrl+0 act everywhere.
'use strict';

const BOARD_CLIP_TYPE = 'application/x-tavrik-board';
const NUDGE = 1, NUDGE_FAR = 10;        // board units an arrow key moves the selection
const PAN_STEP = 60, PAN_STEP_FAR = 300; // screen pixels an arrow key pans the view
const DUPLICATE_OFFSET = 24;

const KIND_KEYS = { note: 'kindNote', image: 'kindImage', paper: 'kindPage', file: 'kindFile' };

// The item's kind and text as a screen reader announces them, in the page's language.
function labelItem(el, item) {
  if (!el) return;
  const kind = i18n.t(KIND_KEYS[item.type] || 'kindFile');
  el.setAttribute('aria-roledescription', kind);
  let name = '';
  if (item.type === 'note') name = item.text.trim() || i18n.t('emptyNote');
  else if (item.type === 'file') name = `${item.name} (${item.mime})`;
  else name = item.name || kind;
  el.setAttribute('aria-label', name);
  const text = el.querySelector('.text');
  if (text) text.dataset.placeholder = i18n.t('notePlaceholder');
}

function relabelItems() {
  if (typeof boardView === 'undefined') return;
  for (const item of boardView.items) labelItem(boardView.elementOf(item.id), item);
}

// Where keys and the clipboard act on the board rather than on a control of the page.
function onBoard(target) {
  const t = target instanceof Element ? target : document.body;
  if (t.closest('input, textarea, select, [contenteditable="true"]')) return false;
  return t === document.body || t === document.documentElement || !!t.closest('#viewport');
}

// ---- copying items ---------------------------------------------------------------------------------

function clipText(items) {
  return items.map((it) => (it.type === 'note' ? it.text : it.name || i18n.t(KIND_KEYS[it.type]))).join('\n\n');
}

function escapeHtml(text) {
  return String(text).replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);
}

// The copied items as HTML other applications can show (paragraphs, the picture), carrying the
// board's own form in an attribute for the board to read back.
function clipHtml(items, data) {
  const body = items.map((it) => {
    if (it.type === 'image' || it.type === 'paper') return `<img src="${escapeHtml(it.src)}" alt="${escapeHtml(it.name || '')}">`;
    if (it.type === 'note') return `<p>${escapeHtml(it.text).replace(/\n/g, '<br>')}</p>`;
    return `<p>${escapeHtml(it.name)}</p>`;
  }).join('');
  return `<div data-tavrik-board="${escapeHtml(data)}">${body}</div>`;
}

function copiedForm(items) {
  return JSON.stringify({ format: 'tavrik-board', version: 1, items: items.map(({ id, ...rest }) => rest) });
}

function writeClipboard(dt, items) {
  const data = copiedForm(items);
  const text = clipText(items) || ' ';
  const html = clipHtml(items, data);
  dt.setData('text/plain', text);
  dt.setData('text/html', html);
  try { dt.setData(BOARD_CLIP_TYPE, data); } catch { /* an engine without custom types: the HTML has it */ }
  // A single picture goes to other applications as the picture itself; the HTML keeps the board's form.
  const [only] = items;
  if (items.length === 1 && (only.type === 'image' || only.type === 'paper') && typeof copyPictureForOthers === 'function')
    copyPictureForOthers(only.src, html, text);
}

// The board's own form found in a clipboard or a pasted text, as items; null when there is none.
function boardItemsOf(data) {
  try {
    const doc = JSON.parse(data);
    if (doc?.format !== 'tavrik-board' || !Array.isArray(doc.items)) return null;
    const items = doc.items.map(sanitizeItem).filter(Boolean);
    return items.length ? items : null;
  } catch { return null; }
}

function boardItemsOfHtml(html) {
  if (!html || !html.includes('data-tavrik-board')) return null;
  const el = new DOMParser().parseFromString(html, 'text/html').querySelector('[data-tavrik-board]');
  return el ? boardItemsOf(el.getAttribute('data-tavrik-board')) : null;
}

// Adds `items` (fresh copies) with their layout kept, their middle at `centre`, all selected, as one
// undo step; null centre keeps them where they were, moved by `offset`.
function addCopies(items, centre, offset = 0) {
  const box = unionRect(items);
  const dx = centre ? centre.x - (box.x + box.w / 2) : offset;
  const dy = centre ? centre.y - (box.y + box.h / 2) : offset;
  const added = [];
  undoStep(() => {
    for (const it of items) {
      const copy = { ...it, x: Math.round(it.x + dx), y: Math.round(it.y + dy) };
      delete copy.id;
      added.push(boardView.add(copy));
    }
  });
  boardView.setSelection(added.map((it) => it.id));
  const shown = unionRect(added);
  if (shown) boardView.reveal(shown);
  return added;
}

let pointer = null;  // the last window point of the pointer over the board
function pasteCentre() {
  const r = boardView.viewport.getBoundingClientRect();
  if (pointer && pointer.x >= r.left && pointer.x < r.right && pointer.y >= r.top && pointer.y < r.bottom)
    return boardView.pointAt(pointer.x, pointer.y);
  return boardView.visibleCentre();
}

function pasteItems(items) {
  return addCopies(items, pasteCentre());
}

function duplicateSelection() {
  const items = boardView.selectedItems();
  if (items.length) addCopies(items, null, DUPLICATE_OFFSET);
}

// The window point a paste lands at: the pointer over the board, else the middle of what is shown.
function pasteClientPoint() {
  const r = boardView.viewport.getBoundingClientRect();
  if (pointer && pointer.x >= r.left && pointer.x < r.right && pointer.y >= r.top && pointer.y < r.bottom) return pointer;
  return { x: r.left + r.width / 2, y: r.top + r.height / 2 };
}

// The page's own paste event: the board's form when the clipboard has it, else the files or picture
// the shell read from the clipboard for this paste, else a picture, else text.
function onPaste(e) {
  const fromShell = typeof takeShellPaste === 'function' ? takeShellPaste() : null;
  if (!onBoard(e.target) || !e.clipboardData) return;
  const dt = e.clipboardData;
  let items = null;
  try { items = boardItemsOf(dt.getData(BOARD_CLIP_TYPE)); } catch { /* no custom types */ }
  items ||= boardItemsOfHtml(dt.getData('text/html'));
  e.preventDefault();
  if (items) return pasteItems(items);
  const at = pasteClientPoint();
  if (fromShell) return landFilesAt(fromShell.files, at.x, at.y, fromShell.refused);
  const pictures = [...(dt.files || [])].filter((f) => f.type.startsWith('image/'));
  if (pictures.length && typeof landFilesAt === 'function') return landFilesAt(pictures, at.x, at.y);
  const text = dt.getData('text/plain');
  if (text.trim()) addNote(text, pasteCentre());
}

function bindClipboard() {
  const wanted = (e) => onBoard(e.target) && boardView.selection.size > 0 && document.getSelection()?.isCollapsed !== false;
  // Copy and Cut are only enabled where the page says it has something to copy.
  for (const type of ['beforecopy', 'beforecut']) document.addEventListener(type, (e) => { if (wanted(e)) e.preventDefault(); });
  document.addEventListener('beforepaste', (e) => { if (onBoard(e.target)) e.preventDefault(); });
  for (const type of ['copy', 'cut']) {
    document.addEventListener(type, (e) => {
      if (!wanted(e) || !e.clipboardData) return;
      e.preventDefault();
      const items = boardView.selectedItems();
      writeClipboard(e.clipboardData, items);
      if (type === 'cut') undoStep(() => boardView.removeSelected());
    });
  }
  document.addEventListener('paste', onPaste);
  // Select All from the menu selects the items when the board has the focus.
  document.addEventListener('selectstart', (e) => {
    if (!onBoard(e.target) || pointerDown) return;
    e.preventDefault();
    boardView.setSelection(boardView.items.map((it) => it.id));
  });
}

// ---- keys ------------------------------------------------------------------------------------------

let pointerDown = false;

function focusedItemId() {
  const el = document.activeElement?.closest?.('#world .item');
  return el ? Number(el.dataset.id) : null;
}

// The keys the board takes; true when `e` was one of them.
function boardKey(e) {
  const ctrl = e.ctrlKey || e.metaKey;
  const key = e.key;
  if (ctrl && !e.altKey && (key === '1' || key === '0')) {
    if (key === '1') boardView.fitToContent();
    else boardView.setZoom(1);
    return true;
  }
  // Escape ends a note's editing, keeping the focus on the note.
  const editing = e.target instanceof Element && e.target.closest('#world .item [contenteditable="true"]');
  if (editing && key === 'Escape') {
    editing.blur();
    editing.closest('.item').focus({ preventScroll: true });
    return true;
  }
  if (!onBoard(e.target) || e.altKey) return false;
  const lower = key.toLowerCase();
  if (ctrl && lower === 'a') {
    boardView.setSelection(boardView.items.map((it) => it.id));
    return true;
  }
  if (ctrl && lower === 'd') {
    duplicateSelection();
    return true;
  }
  const arrows = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] };
  if (arrows[key] && !ctrl) {
    const [dx, dy] = arrows[key];
    if (boardView.selection.size) {
      const step = e.shiftKey ? NUDGE_FAR : NUDGE;
      boardView.moveSelection(dx * step, dy * step);
      const box = unionRect(boardView.selectedItems());
      if (box) boardView.reveal(box);
    } else {
      const step = e.shiftKey ? PAN_STEP_FAR : PAN_STEP;
      boardView.panBy(dx * step, dy * step);
    }
    return true;
  }
  if ((key === 'Delete' || key === 'Backspace') && boardView.selection.size > 1) {
    undoStep(() => boardView.removeSelected());
    return true;
  }
  const focused = focusedItemId();
  if (key === ' ' && focused !== null && (ctrl || e.shiftKey)) {
    boardView.toggleSelected(focused);  // adds the focused item to the selection, or takes it out
    return true;
  }
  if ((key === 'Enter' || key === 'F2') && focused !== null && boardView.find(focused)?.type === 'note') {
    boardView.editNote(focused);
    return true;
  }
  if (key === ' ' && !ctrl) {
    if (!e.repeat) {
      boardView.spaceHeld = true;
      boardView.viewport.classList.add('can-pan');
    }
    return true;
  }
  return false;
}

function bindKeys() {
  // The capture phase on the window: before the page's other key handlers, which then never see
  // the keys the board took.
  window.addEventListener('keydown', (e) => {
    if (typeof boardView === 'undefined' || e.defaultPrevented) return;
    if (boardKey(e)) {
      e.preventDefault();
      e.stopPropagation();
    }
  }, true);
  const release = () => {
    if (typeof boardView === 'undefined') return;
    boardView.spaceHeld = false;
    boardView.viewport.classList.remove('can-pan');
  };
  window.addEventListener('keyup', (e) => { if (e.key === ' ') release(); }, true);
  window.addEventListener('blur', release);
  window.addEventListener('pointermove', (e) => { pointer = { x: e.clientX, y: e.clientY }; }, true);
  window.addEventListener('pointerdown', () => { pointerDown = true; }, true);
  window.addEventListener('pointerup', () => { pointerDown = false; }, true);
  // An item reached with Tab is the selected one, and comes into view.
  document.getElementById('world').addEventListener('focusin', (e) => {
    const el = e.target.closest?.('.item');
    if (!el || e.target !== el) return;
    const id = Number(el.dataset.id);
    if (!boardView.selection.has(id)) boardView.select(id);
    const item = boardView.find(id);
    if (item && !pointerDown) boardView.reveal(item);
  });
  // Texts follow the language.
  new MutationObserver(relabelItems).observe(document.documentElement, { attributes: true, attributeFilter: ['lang'] });
}

if (typeof document !== 'undefined') {
  bindKeys();
  bindClipboard();
}

if (typeof module !== 'undefined') module.exports = { clipText, boardItemsOf };

// A touchpad pinch, which the shell takes before the web view: each step's factor, at a window point.
window.__pinchZoom = (factor, x, y) => {
  if (typeof boardView === 'undefined' || ![factor, x, y].every(Number.isFinite) || factor <= 0) return;
  boardView.setZoom(boardView.zoom * factor, x, y);
};

// The View menu's zoom commands ("zoom:fit", "zoom:100"), which Ctrl+1 and Ctrl+0 also give.
function boardZoomCommand(arg) {
  if (arg === 'fit') boardView.fitToContent();
  else if (arg === '100') boardView.setZoom(1);
}
