// The board: a document of items (notes, images, files, template pages) shown as elements on a
// zoomable surface, and drawn onto a canvas for export. Knows nothing of the shell.
'use strict';

const NOTE_COLORS = ['#fff3a8', '#c9f0d8', '#cfe3ff', '#ffd6d1'];
const SENS_FACTORS = [0.4, 0.7, 1.0, 1.8, 2.8];
const RATIOS = [null, [16, 9], [9, 16], [4, 3], [3, 4], [1, 1]];
const A4_RATIO = Math.SQRT2;  // height / width of an A4 page

class Board {
  constructor(viewport, world, onChange) {
    this.viewport = viewport;
    this.world = world;
    this.onChange = onChange;   // (reason) after every user-visible change of the document
    this.items = [];
    this.nextId = 1;
    this.zoom = 1;
    this.sens = 1.0;
    this.selectedId = null;
    this.images = new Map();    // id → HTMLImageElement, for drawing onto the export canvas
    this.shown = new Map();     // id → the blob: URL an image item is displayed from
    // A picture loads when it comes near the view: an imported template of a hundred pages would
    // otherwise have the web view decode and paint every page nobody is looking at yet.
    this.unseen = new IntersectionObserver((entries) => {
      for (const e of entries) if (e.isIntersecting) this.showPicture(e.target);
    }, { root: viewport, rootMargin: '50%' });
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
  }

  clear() {
    this.items = [];
    this.images.clear();
    this.unseen.disconnect();
    for (const url of this.shown.values()) URL.revokeObjectURL(url);
    this.shown.clear();
    this.world.textContent = '';
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

  add(item, reason = 'add') {
    const it = this.insert(item);
    this.select(it.id);
    this.onChange(reason);
    return it;
  }

  remove(id) {
    const i = this.items.findIndex((it) => it.id === id);
    if (i < 0) return;
    this.items.splice(i, 1);
    const img = this.images.get(id);
    if (img) this.unseen.unobserve(img);
    this.images.delete(id);
    this.forgetShown(id);
    this.elementOf(id)?.remove();
    if (this.selectedId === id) this.select(null);
    this.onChange('remove');
  }

  find(id) { return this.items.find((it) => it.id === id) || null; }
  selected() { return this.find(this.selectedId); }
  isEmpty() { return this.items.length === 0; }

  // The centre of what the user sees, in board coordinates: where new items go.
  visibleCentre() {
    const v = this.viewport;
    return { x: (v.scrollLeft + v.clientWidth / 2) / this.zoom, y: (v.scrollTop + v.clientHeight / 2) / this.zoom };
  }

  // Brings an item into view when it lies (partly) outside it: horizontally centred where it fits,
  // its top edge just below the view's top. Template pages land beside everything else, often
  // outside what the user is looking at.
  reveal(item) {
    const v = this.viewport, z = this.zoom;
    const left = item.x * z, top = item.y * z, width = item.w * z;
    const seen = left >= v.scrollLeft && left + width <= v.scrollLeft + v.clientWidth &&
                 top >= v.scrollTop && top < v.scrollTop + v.clientHeight;
    if (seen) return;
    this.updateWorldSize();
    v.scrollLeft = left - Math.max(40, (v.clientWidth - width) / 2);
    v.scrollTop = top - 40;
  }

  // ---- elements ----------------------------------------------------------------------------------

  elementOf(id) { return this.world.querySelector(`[data-id="${id}"]`); }

  renderItem(item) {
    const el = document.createElement('div');
    el.className = `item ${item.type}`;
    el.dataset.id = item.id;
    if (item.type === 'note') {
      el.style.background = item.color;
      const text = document.createElement('div');
      text.className = 'text';
      text.textContent = item.text;
      el.append(text);
    } else if (item.type === 'image' || item.type === 'paper') {
      const img = document.createElement('img');
      img.alt = item.name || '';
      img.draggable = false;
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
    const grip = document.createElement('div');
    grip.className = 'grip';
    el.append(close, grip);
    this.placeElement(el, item);
    // Keep the element order equal to the drawing order.
    const index = this.items.indexOf(item);
    const after = this.items[index + 1];
    const next = after && this.elementOf(after.id);
    this.world.insertBefore(el, next || null);
    this.updateWorldSize();
  }

  // Gives an image item's element its picture, once.
  showPicture(img) {
    if (img.hasAttribute('src')) return;
    this.unseen.unobserve(img);
    const item = this.find(Number(img.parentElement?.dataset.id));
    if (item) img.src = this.displayUrl(item);
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

  updateWorldSize() {
    const b = this.bounds(0) || { x: 0, y: 0, w: 0, h: 0 };
    this.world.style.width = `${Math.max(b.x + b.w + 800, 3000)}px`;
    this.world.style.height = `${Math.max(b.y + b.h + 600, 2000)}px`;
  }

  select(id) {
    this.selectedId = id;
    for (const el of this.world.querySelectorAll('.item.selected')) el.classList.remove('selected');
    if (id !== null) this.elementOf(id)?.classList.add('selected');
    this.onChange('select');
  }

  setZoom(zoom) {
    const v = this.viewport;
    const centre = this.visibleCentre();
    this.zoom = Math.min(4, Math.max(0.2, zoom));
    this.world.style.transform = `scale(${this.zoom})`;
    v.scrollLeft = centre.x * this.zoom - v.clientWidth / 2;
    v.scrollTop = centre.y * this.zoom - v.clientHeight / 2;
    this.onChange('zoom');
  }

  // ---- pointer and keys --------------------------------------------------------------------------

  bindInput() {
    this.world.addEventListener('pointerdown', (e) => this.onPointerDown(e));
    this.world.addEventListener('dblclick', (e) => {
      const el = e.target.closest('.item.note');
      if (el) this.editNote(Number(el.dataset.id));
    });
    this.viewport.addEventListener('pointerdown', (e) => {
      if (e.target === this.viewport || e.target === this.world) this.select(null);
    });
    // Ctrl + wheel zooms; the sensitivity scales how far one wheel step goes.
    this.viewport.addEventListener('wheel', (e) => {
      if (!e.ctrlKey) return;
      e.preventDefault();
      this.setZoom(this.zoom * Math.exp(-e.deltaY * 0.0015 * this.sens));
    }, { passive: false });
  }

  onPointerDown(e) {
    const el = e.target.closest('.item');
    if (!el || e.button !== 0) return;
    const id = Number(el.dataset.id);
    const item = this.find(id);
    if (e.target.classList.contains('close')) {
      e.preventDefault();
      this.remove(id);
      return;
    }
    if (el.querySelector('[contenteditable="true"]')) return;  // editing text: let the caret move
    this.select(id);
    e.preventDefault();
    const resizing = e.target.classList.contains('grip');
    const start = { px: e.clientX, py: e.clientY, x: item.x, y: item.y, w: item.w, h: item.h };
    let moved = false;
    el.setPointerCapture(e.pointerId);
    const move = (ev) => {
      const dx = (ev.clientX - start.px) / this.zoom;
      const dy = (ev.clientY - start.py) / this.zoom;
      if (resizing) {
        item.w = Math.max(40, Math.round(start.w + dx));
        // Pictures keep their proportions; notes and files resize freely.
        item.h = item.type === 'note' || item.type === 'file'
          ? Math.max(30, Math.round(start.h + dy)) : Math.round(item.w * start.h / start.w);
      } else {
        item.x = Math.round(start.x + dx);
        item.y = Math.round(start.y + dy);
      }
      moved = true;
      this.placeElement(el, item);
    };
    const up = () => {
      el.removeEventListener('pointermove', move);
      el.removeEventListener('pointerup', up);
      el.removeEventListener('pointercancel', up);
      if (moved) {
        this.updateWorldSize();
        this.onChange(resizing ? 'resize' : 'move');
      }
    };
    el.addEventListener('pointermove', move);
    el.addEventListener('pointerup', up);
    el.addEventListener('pointercancel', up);
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
      if (text.innerText !== item.text) {
        item.text = text.innerText;
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
