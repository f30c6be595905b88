// SPDX-License-Identifier: GPL-3.0-or-later
// The board: a document of items (notes, images, files, template pages) shown as elements on a
// surface without edges that the user pans and zooms, and drawn onto a canvas for export. Knows
// nothing of the shell. Geometry lives in board_geometry.js, the pointer in board_pointer.js, keys and
// the clipboard in board_keys.js.
'use strict';

const NOTE_COLORS = ['#fff3a8', '#c9f0d8', '#cfe3ff', '#ffd6d1'];
const SENS_FACTORS = [0.4, 0.7, 1.0, 1.8, 2.8];
const RATIOS = [null, [16, 9], [9, 16], [4, 3], [3, 4], [1, 1]];
const A4_RATIO = Math.SQRT2;  // height / width of an A4 page
const DRAG_SLOP = 3;          // pixels a press may wander and still be a click

class Board {
  constructor(viewport, world, onChange) {
    this.viewport = viewport;
    this.world = world;
    this.onChange = onChange;   // (reason) after every user-visible change of the document
    this.items = [];
    this.nextId = 1;
    this.zoom = 1;
    this.panX = 0;              // the board point at the viewport's top-left corner
    this.panY = 0;
    this.sens = 1.0;
    this.selectedId = null;     // the item selected last, which single-item actions act on
    this.selection = new Set(); // every selected item's id
    this.lastPlaced = null;     // the item placed last, which the next one goes beside
    this.spaceHeld = false;
    this.images = new Map();    // id → HTMLImageElement, for drawing onto the export canvas
    this.shown = new Map();     // id → the blob: URL an image item is displayed from
    // A picture loads when it comes near the view: an imported template of a hundred pages would
    // otherwise have the web view decode and paint every page nobody is looking at yet.
    this.unseen = new IntersectionObserver((entries) => {
      for (const e of entries) if (e.isIntersecting) this.queuePicture(e.target);
    }, { root: viewport, rootMargin: '50%' });
    this.pictureQueue = new Set();  // pictures come into view, not yet given their source
    this.pictureTimer = 0;
    this.applyView();
    this.bindInput();
  }

  // ---- document ----------------------------------------------------------------------------------

  toJSON() {
    return { format: 'tavrik-board', version: 1, items: this.items.map((it) => ({ ...it })) };
  }

  // Replaces the document; items that are malformed or carry anything but inline data are dropped,
  // so an opened file can never make the page load a remote or local resource.
  load(doc) {
    if (!doc || typeof doc !== 'object' || !Array.isArray(doc.items)) throw new Error('not a board');
    const items = doc.items.map(sanitizeItem).filter(Boolean);
    this.clear();
    for (const it of items) this.insert(it);
    // What was opened is shown, wherever on the board it lies.
    if (this.items.length) this.fitToContent(true);
  }

  clear() {
    this.items = [];
    this.images.clear();
    this.pictureQueue.clear();
    this.unseen.disconnect();
    for (const url of this.shown.values()) URL.revokeObjectURL(url);
    this.shown.clear();
    this.world.textContent = '';
    this.lastPlaced = null;
    this.select(null);
  }

  insert(item) {
    item.id = this.nextId++;
    if (item.type === 'paper') {  // template pages lie beneath everything else
      const firstNonPaper = this.items.findIndex((it) => it.type !== 'paper');
      this.items.splice(firstNonPaper < 0 ? this.items.length : firstNonPaper, 0, item);
    } else {
      this.items.push(item);
    }
    this.renderItem(item);
    return item;
  }

  // A new item, selected and in view: the view follows it when it landed outside (template pages
  // reveal their first page themselves).
  add(item, reason = 'add') {
    const it = this.insert(item);
    if (reason !== 'paper') {
      this.lastPlaced = it;
      this.reveal(it);
    }
    this.select(it.id);
    this.onChange(reason);
    return it;
  }

  remove(id) {
    const i = this.items.findIndex((it) => it.id === id);
    if (i < 0) return;
    const [item] = this.items.splice(i, 1);
    const img = this.images.get(id);
    if (img) this.unseen.unobserve(img);
    this.images.delete(id);
    this.forgetShown(id);
    const el = this.elementOf(id);
    const hadFocus = el?.contains(document.activeElement);
    el?.remove();
    if (hadFocus) this.viewport.focus({ preventScroll: true });
    if (this.lastPlaced === item) this.lastPlaced = null;
    if (this.selection.has(id)) this.setSelection([...this.selection].filter((s) => s !== id));
    this.onChange('remove');
  }

  find(id) { return this.items.find((it) => it.id === id) || null; }
  selected() { return this.find(this.selectedId); }
  selectedItems() { return this.items.filter((it) => this.selection.has(it.id)); }
  isEmpty() { return this.items.length === 0; }

  // ---- the view ----------------------------------------------------------------------------------

  view() { return { x: this.panX, y: this.panY, zoom: this.zoom }; }

  // The board rectangle the user sees.
  visibleRect() { return viewRect(this.view(), this.viewport.clientWidth, this.viewport.clientHeight); }

  // The centre of what the user sees, in board coordinates.
  visibleCentre() {
    const r = this.visibleRect();
    return { x: r.x + r.w / 2, y: r.y + r.h / 2 };
  }

  // Board coordinates of a point given in the window's.
  pointAt(clientX, clientY) {
    const r = this.viewport.getBoundingClientRect();
    return { x: this.panX + (clientX - r.left) / this.zoom, y: this.panY + (clientY - r.top) / this.zoom };
  }

  setView(view) {
    this.panX = view.x;
    this.panY = view.y;
    const zoomed = view.zoom !== this.zoom;
    this.zoom = view.zoom;
    this.applyView();
    if (zoomed) this.onChange('zoom');
  }

  applyView() {
    const z = this.zoom;
    this.world.style.transform = `scale(${z}) translate(${-this.panX}px, ${-this.panY}px)`;
    // The dotted paper moves with the board; its dots thin out instead of crowding when far out.
    const cell = 24 * z * (z < 0.5 ? Math.pow(2, Math.ceil(Math.log2(0.5 / z))) : 1);
    this.viewport.style.backgroundSize = `${cell}px ${cell}px`;
    this.viewport.style.backgroundPosition = `${-this.panX * z}px ${-this.panY * z}px`;
  }

  // Pans by screen pixels.
  panBy(dx, dy) {
    this.setView({ x: this.panX + dx / this.zoom, y: this.panY + dy / this.zoom, zoom: this.zoom });
  }

  // Zooms keeping the board point under the window point (clientX, clientY) still; around the
  // view's centre without one.
  setZoom(zoom, clientX, clientY) {
    const r = this.viewport.getBoundingClientRect();
    const px = clientX === undefined ? r.width / 2 : clientX - r.left;
    const py = clientY === undefined ? r.height / 2 : clientY - r.top;
    this.setView(zoomAround(this.view(), zoom, px, py));
  }

  // Everything on the board in view, at most at 100 %; an empty board goes back to its origin.
  fitToContent(quiet = false) {
    const b = this.bounds(0);
    const view = b ? fitView(b, this.viewport.clientWidth, this.viewport.clientHeight) : { x: 0, y: 0, zoom: 1 };
    if (quiet) {
      this.panX = view.x; this.panY = view.y; this.zoom = view.zoom;
      this.applyView();
    } else {
      this.setView(view);
    }
  }

  // Brings an item into view when it lies (partly) outside it.
  reveal(item) {
    const next = revealView(this.view(), this.viewport.clientWidth, this.viewport.clientHeight, item);
    if (next.x !== this.panX || next.y !== this.panY) this.setView(next);
  }

  // Where a new item of w × h goes: centred on `at` when given (a drop or paste point), else in
  // the visible area beside the item placed last, on nothing else.
  placeNew(w, h, at) {
    if (at) return { x: Math.round(at.x - w / 2), y: Math.round(at.y - h / 2) };
    const m = PLACE_MARGIN / this.zoom;
    const v = this.visibleRect();
    const inner = { x: v.x + m, y: v.y + m, w: Math.max(w, v.w - 2 * m), h: Math.max(h, v.h - 2 * m) };
    const others = this.items.filter((it) => it.type !== 'paper');
    return placeFree(w, h, inner, others, this.lastPlaced && this.items.includes(this.lastPlaced) ? this.lastPlaced : null);
  }

  // Items dropped in a row from a point (cursor: { x, y } in board units, kept between calls):
  // wrapping to a new row before the right edge of the view.
  placeInRow(cursor, w, h) {
    const m = PLACE_MARGIN / this.zoom;
    const v = this.visibleRect();
    return placeInRows(cursor, w, h, { x: v.x + m, y: v.y + m, w: v.w - 2 * m, h: v.h - 2 * m });
  }

  // ---- elements ----------------------------------------------------------------------------------

  elementOf(id) { return this.world.querySelector(`[data-id="${id}"]`); }

  renderItem(item) {
    const el = document.createElement('div');
    el.className = `item ${item.type}`;
    el.dataset.id = item.id;
    // Reachable with Tab in board order, and announced as what it is (board_keys.js names it).
    el.tabIndex = 0;
    el.setAttribute('role', 'group');
    if (item.type === 'note') {
      el.style.background = item.color;
      const text = document.createElement('div');
      text.className = 'text';
      text.textContent = item.text;
      el.append(text);
    } else if (item.type === 'image' || item.type === 'paper') {
      const img = document.createElement('img');
      img.alt = '';
      img.draggable = false;
      // Decoded beside the painting, not in it: a board of many photos shows at once, each photo
      // as its decode finishes, and the window keeps answering meanwhile.
      img.decoding = 'async';
      this.images.set(item.id, img);
      this.unseen.observe(img);
      el.append(img);
    } else if (item.type === 'file') {
      const name = document.createElement('div');
      name.className = 'name';
      name.textContent = item.name;
      const mime = document.createElement('div');
      mime.className = 'mime';
      mime.textContent = item.mime;
      el.append(name, mime);
    }
    const close = document.createElement('button');
    close.className = 'close';
    close.textContent = '×';
    close.tabIndex = -1;
    close.setAttribute('aria-hidden', 'true');  // Delete does the same from the keyboard
    const grip = document.createElement('div');
    grip.className = 'grip';
    el.append(close, grip);
    this.placeElement(el, item);
    if (typeof labelItem === 'function') labelItem(el, item);
    // Keep the element order equal to the drawing order.
    const index = this.items.indexOf(item);
    const after = this.items[index + 1];
    const next = after && this.elementOf(after.id);
    this.world.insertBefore(el, next || null);
  }

  // Gives an image item's element its picture, once.
  showPicture(img) {
    if (img.hasAttribute('src')) return;
    this.unseen.unobserve(img);
    const item = this.find(Number(img.parentElement?.dataset.id));
    if (item) img.src = this.displayUrl(item);
  }

  // Pictures that come into view load a few at a time, after the frame that shows the board: an
  // opened board of a hundred photos shows at once and its photos fill in, rather than the window
  // waiting for every photo to be read out of its data URL and loaded.
  queuePicture(img) {
    this.pictureQueue.add(img);
    if (!this.pictureTimer) this.pictureTimer = requestAnimationFrame(() => setTimeout(() => this.showQueued(), 0));
  }

  showQueued() {
    const start = performance.now();
    for (const img of this.pictureQueue) {
      this.pictureQueue.delete(img);
      this.showPicture(img);
      if (performance.now() - start > 8) break;  // about half a frame, then the window's turn
    }
    this.pictureTimer = this.pictureQueue.size ? setTimeout(() => this.showQueued(), 0) : 0;
  }

  // Every picture loaded and decoded, so that a drawing of the whole board leaves none out.
  async readyPictures() {
    const imgs = [...this.images.values()];
    for (const img of imgs) this.showPicture(img);
    await Promise.all(imgs.map((img) => img.decode().catch(() => {})));
  }

  // Where an image item's element loads its picture from. The item keeps its data URL (it is what
  // is saved and exported); the element shows a blob: URL of the same bytes, because WebKit reports
  // each load to the shell with its whole URL, and an 850 KB data URL costs the shell ~20 ms a time.
  displayUrl(item) {
    this.forgetShown(item.id);
    const blob = dataUrlBlob(item.src);
    if (!blob) return item.src;
    const url = URL.createObjectURL(blob);
    this.shown.set(item.id, url);
    return url;
  }

  forgetShown(id) {
    const url = this.shown.get(id);
    if (!url) return;
    URL.revokeObjectURL(url);
    this.shown.delete(id);
  }

  placeElement(el, item) {
    el.style.left = `${item.x}px`;
    el.style.top = `${item.y}px`;
    el.style.width = `${item.w}px`;
    el.style.height = `${item.h}px`;
  }

  // The board has no edges: nothing to size. Kept for callers that place elements themselves.
  updateWorldSize() {}

  // Selects one item, or none.
  select(id) { this.setSelection(id === null || id === undefined ? [] : [id]); }

  setSelection(ids) {
    const known = ids.filter((id) => this.find(id));
    this.selection = new Set(known);
    this.selectedId = known.length ? known[known.length - 1] : null;
    for (const el of this.world.querySelectorAll('.item.selected')) {
      el.classList.remove('selected');
      el.removeAttribute('aria-current');
    }
    for (const id of known) {
      const el = this.elementOf(id);
      el?.classList.add('selected');
      el?.setAttribute('aria-current', 'true');
    }
    this.onChange('select');
  }

  toggleSelected(id) {
    const ids = [...this.selection];
    this.setSelection(this.selection.has(id) ? ids.filter((s) => s !== id) : [...ids, id]);
  }

  // Moves every selected item by (dx, dy) board units, as one change.
  moveSelection(dx, dy) {
    const items = this.selectedItems();
    if (!items.length) return;
    for (const it of items) {
      it.x = Math.round(it.x + dx);
      it.y = Math.round(it.y + dy);
      this.placeElement(this.elementOf(it.id), it);
    }
    this.onChange('move');
  }

  // Removes every selected item (as one undo step, see undo.js).
  removeSelected() {
    for (const it of this.selectedItems()) this.remove(it.id);
  }

  editNote(id) {
    const item = this.find(id);
    const text = this.elementOf(id)?.querySelector('.text');
    if (!item || !text) return;
    text.contentEditable = 'true';
    text.focus();
    document.getSelection().selectAllChildren(text);
    const finish = () => {
      text.contentEditable = 'false';
      text.removeEventListener('blur', finish);
      // An emptied note is empty, not a line break: its placeholder shows again.
      const typed = text.innerText.replace(/\n$/, '');
      if (!typed) text.textContent = '';
      if (typed !== item.text) {
        item.text = typed;
        if (typeof labelItem === 'function') labelItem(this.elementOf(id), item);
        this.onChange('edit');
      }
    };
    text.addEventListener('blur', finish);
  }

  // ---- drawing for export ------------------------------------------------------------------------

  // The rectangle holding every item, with a margin; null for an empty board.
  bounds(margin = 40) {
    if (!this.items.length) return null;
    let x0 = Infinity, y0 = Infinity, x1 = -Infinity, y1 = -Infinity;
    for (const it of this.items) {
      x0 = Math.min(x0, it.x); y0 = Math.min(y0, it.y);
      x1 = Math.max(x1, it.x + it.w); y1 = Math.max(y1, it.y + it.h);
    }
    return { x: x0 - margin, y: y0 - margin, w: x1 - x0 + 2 * margin, h: y1 - y0 + 2 * margin };
  }

  // Draws the board region `rect` onto a new canvas whose longer side is at most `maxSide` pixels.
  drawRegion(rect, maxSide = 2400) {
    const scale = Math.min(2, maxSide / Math.max(rect.w, rect.h));
    const canvas = document.createElement('canvas');
    canvas.width = Math.max(1, Math.round(rect.w * scale));
    canvas.height = Math.max(1, Math.round(rect.h * scale));
    const g = canvas.getContext('2d');
    g.fillStyle = '#ffffff';
    g.fillRect(0, 0, canvas.width, canvas.height);
    g.scale(scale, scale);
    g.translate(-rect.x, -rect.y);
    for (const it of this.items) drawItem(g, it, this.images.get(it.id));
    return canvas;
  }

  // The region to export: the items' bounds, widened to the chosen ratio (index into RATIOS).
  exportRect(ratioIndex = 0) {
    const b = this.bounds();
    if (!b) return null;
    const ratio = RATIOS[ratioIndex];
    if (!ratio) return b;
    const want = ratio[0] / ratio[1];
    if (b.w / b.h < want) {
      const w = b.h * want;
      return { x: b.x - (w - b.w) / 2, y: b.y, w, h: b.h };
    }
    const h = b.w / want;
    return { x: b.x, y: b.y - (h - b.h) / 2, w: b.w, h };
  }

  // The pages of a multi-page export: each template page when there are any, otherwise the items'
  // bounds cut into A4-proportioned pages from top to bottom.
  pageRects() {
    const papers = this.items.filter((it) => it.type === 'paper');
    if (papers.length) return papers.map((p) => ({ x: p.x, y: p.y, w: p.w, h: p.h }));
    const b = this.bounds();
    if (!b) return [];
    const pageH = b.w * A4_RATIO;
    const count = Math.max(1, Math.ceil(b.h / pageH - 1e-9));
    return Array.from({ length: count }, (_, i) => ({ x: b.x, y: b.y + i * pageH, w: b.w, h: pageH }));
  }
}

function drawItem(g, it, img) {
  g.save();
  if (it.type === 'note') {
    g.fillStyle = it.color || NOTE_COLORS[0];
    g.shadowColor = 'rgba(0,0,0,.18)';
    g.shadowBlur = 6;
    g.shadowOffsetY = 2;
    g.fillRect(it.x, it.y, it.w, it.h);
    g.shadowColor = 'transparent';
    g.fillStyle = '#222';
    g.font = '16px system-ui, "Noto Sans CJK SC", sans-serif';
    g.textBaseline = 'top';
    g.beginPath();
    g.rect(it.x, it.y, it.w, it.h);
    g.clip();
    let y = it.y + 10;
    for (const line of wrapText(g, it.text, it.w - 20)) {
      g.fillText(line, it.x + 10, y);
      y += 22;
    }
  } else if ((it.type === 'image' || it.type === 'paper') && img && img.complete && img.naturalWidth) {
    g.drawImage(img, it.x, it.y, it.w, it.h);
  } else if (it.type === 'file') {
    g.fillStyle = '#eef0f4';
    g.strokeStyle = '#9aa3b5';
    g.fillRect(it.x, it.y, it.w, it.h);
    g.strokeRect(it.x + 0.5, it.y + 0.5, it.w - 1, it.h - 1);
    g.fillStyle = '#222';
    g.font = '15px system-ui, "Noto Sans CJK SC", sans-serif';
    g.textBaseline = 'top';
    g.fillText(it.name, it.x + 10, it.y + 12, it.w - 20);
  }
  g.restore();
}

// Breaks text into lines that fit `width`, at spaces where there are any and anywhere in CJK text.
function wrapText(g, text, width) {
  const lines = [];
  for (const para of String(text).split('\n')) {
    let line = '';
    for (const ch of para.split(/(?<=\s)|(?=[\u3000-\u9fff\uac00-\ud7af])/u)) {
      if (line && g.measureText(line + ch).width > width) {
        lines.push(line.trimEnd());
        line = ch.trimStart();
      } else {
        line += ch;
      }
    }
    lines.push(line);
  }
  return lines;
}

// The bytes of a base64 data URL as a Blob of its type, or null for any other URL or bad base64
// (and in an engine without a native decoder, where the data URL is shown as it is).
function dataUrlBlob(url) {
  const m = /^data:([^,;]*)(?:;[^,;]*)*?;base64,/i.exec(url.slice(0, 256));
  if (!m) return null;
  try {
    const bytes = Uint8Array.fromBase64(url.slice(m[0].length));
    return new Blob([bytes], { type: m[1].toLowerCase() || 'application/octet-stream' });
  } catch {
    return null;  // left to WebKit, which shows what it can of it
  }
}

function isNum(v) { return typeof v === 'number' && Number.isFinite(v); }

// A stored item as the board accepts it, or null.
function sanitizeItem(raw) {
  if (!raw || typeof raw !== 'object') return null;
  const { type } = raw;
  if (!['note', 'image', 'paper', 'file'].includes(type)) return null;
  if (![raw.x, raw.y, raw.w, raw.h].every(isNum) || raw.w <= 0 || raw.h <= 0) return null;
  const item = { type, x: raw.x, y: raw.y, w: raw.w, h: raw.h };
  if (type === 'note') {
    if (typeof raw.text !== 'string') return null;
    item.text = raw.text;
    item.color = NOTE_COLORS.includes(raw.color) ? raw.color : NOTE_COLORS[0];
  } else if (type === 'file') {
    if (typeof raw.name !== 'string' || typeof raw.dataUrl !== 'string' || !raw.dataUrl.startsWith('data:')) return null;
    item.name = raw.name;
    item.mime = typeof raw.mime === 'string' ? raw.mime : 'application/octet-stream';
    item.dataUrl = raw.dataUrl;
  } else {
    if (typeof raw.src !== 'string' || !/^data:image\//i.test(raw.src)) return null;
    item.src = raw.src;
    item.name = typeof raw.name === 'string' ? raw.name : '';
  }
  return item;
}
