// SPDX-License-Identifier: GPL-3.0-or-later
// The board under the pointer: pressing empty board pans (so do the middle button and Space +
// drag anywhere), Shift + drag draws a selection band, an item drags the whole selection or, by
// its grip, resizes; the wheel scrolls and Ctrl + wheel (a touchpad pinch) zooms at the pointer.
'use strict';

Object.assign(Board.prototype, {

  bindInput() {
    this.viewport.addEventListener('pointerdown', (e) => this.onPointerDown(e));
    this.world.addEventListener('dblclick', (e) => {
      const el = e.target.closest('.item.note');
      if (el) this.editNote(Number(el.dataset.id));
    });
    // The wheel scrolls the board (Shift for sideways); Ctrl + wheel, which is also what a
    // touchpad pinch sends, zooms around the pointer, as far as the sensitivity says.
    this.viewport.addEventListener('wheel', (e) => {
      e.preventDefault();
      const unit = e.deltaMode === 1 ? 16 : e.deltaMode === 2 ? this.viewport.clientHeight : 1;
      if (e.ctrlKey) {
        this.setZoom(this.zoom * Math.exp(-e.deltaY * unit * 0.0015 * this.sens), e.clientX, e.clientY);
      } else if (e.shiftKey && !e.deltaX) {
        this.panBy(e.deltaY * unit, 0);
      } else {
        this.panBy(e.deltaX * unit, e.deltaY * unit);
      }
    }, { passive: false });
    // Safari-style pinch events, where the engine sends them.
    let pinchStart = 1;
    this.viewport.addEventListener('gesturestart', (e) => { e.preventDefault(); pinchStart = this.zoom; });
    this.viewport.addEventListener('gesturechange', (e) => {
      e.preventDefault();
      this.setZoom(pinchStart * e.scale, e.clientX, e.clientY);
    });
    // The viewport follows a focused item; the browser must not scroll it by itself.
    this.viewport.addEventListener('scroll', () => { this.viewport.scrollLeft = 0; this.viewport.scrollTop = 0; });
  },

  // Drags the pointer's moves into `onMove(dx, dy, ev)` (screen pixels from the press) until it
  // is released; `onEnd(moved)` then.
  track(e, onMove, onEnd) {
    const target = this.viewport;
    try { target.setPointerCapture(e.pointerId); } catch { /* a pointer the engine no longer tracks */ }
    const start = { x: e.clientX, y: e.clientY };
    let moved = false;
    const move = (ev) => {
      if (ev.pointerId !== e.pointerId) return;
      const dx = ev.clientX - start.x, dy = ev.clientY - start.y;
      if (!moved && Math.hypot(dx, dy) < DRAG_SLOP) return;
      moved = true;
      onMove(dx, dy, ev);
    };
    const up = (ev) => {
      if (ev.pointerId !== e.pointerId) return;
      target.removeEventListener('pointermove', move);
      target.removeEventListener('pointerup', up);
      target.removeEventListener('pointercancel', up);
      onEnd(moved, ev);
    };
    target.addEventListener('pointermove', move);
    target.addEventListener('pointerup', up);
    target.addEventListener('pointercancel', up);
  },

  onPointerDown(e) {
    const el = e.target.closest('.item');
    const editing = el?.querySelector('[contenteditable="true"]');
    if (editing && editing.contains(e.target)) return;  // editing text: let the caret move
    // The middle button, or the left one with Space held, pans wherever it is pressed.
    if (e.button === 1 || (e.button === 0 && this.spaceHeld)) {
      e.preventDefault();
      this.startPan(e, false);
      return;
    }
    if (e.button !== 0) return;
    if (!el) {
      e.preventDefault();
      document.activeElement?.blur?.();
      this.viewport.focus({ preventScroll: true });
      if (e.shiftKey) this.startBand(e);
      else this.startPan(e, true);
      return;
    }
    const id = Number(el.dataset.id);
    if (e.target.classList.contains('close')) {
      e.preventDefault();
      this.remove(id);
      return;
    }
    e.preventDefault();
    if (e.shiftKey || e.ctrlKey || e.metaKey) {
      this.toggleSelected(id);
      if (!this.selection.has(id)) return;
    } else if (!this.selection.has(id)) {
      this.select(id);
    } else {
      this.selectedId = id;
    }
    el.focus({ preventScroll: true });
    if (e.target.classList.contains('grip')) this.startResize(e, this.find(id));
    else this.startMove(e);
  },

  startPan(e, clearOnClick) {
    const start = { x: this.panX, y: this.panY };
    this.viewport.classList.add('panning');
    this.track(e, (dx, dy) => {
      this.setView({ x: start.x - dx / this.zoom, y: start.y - dy / this.zoom, zoom: this.zoom });
    }, (moved) => {
      this.viewport.classList.remove('panning');
      if (!moved && clearOnClick) this.select(null);
    });
  },

  // Shift + drag on empty board: the items the band touches join the selection.
  startBand(e) {
    const from = this.pointAt(e.clientX, e.clientY);
    const before = [...this.selection];
    const band = document.createElement('div');
    band.className = 'rubber-band';
    this.world.append(band);
    this.track(e, (dx, dy, ev) => {
      const to = this.pointAt(ev.clientX, ev.clientY);
      const r = { x: Math.min(from.x, to.x), y: Math.min(from.y, to.y), w: Math.abs(to.x - from.x), h: Math.abs(to.y - from.y) };
      Object.assign(band.style, { left: `${r.x}px`, top: `${r.y}px`, width: `${r.w}px`, height: `${r.h}px`,
                                  borderWidth: `${1 / this.zoom}px` });
      const hit = this.items.filter((it) => it.type !== 'paper' && overlaps(r, it)).map((it) => it.id);
      this.setSelection([...new Set([...before, ...hit])]);
    }, () => band.remove());
  },

  startMove(e) {
    const items = this.selectedItems();
    const starts = items.map((it) => ({ it, x: it.x, y: it.y, el: this.elementOf(it.id) }));
    this.track(e, (dx, dy) => {
      for (const s of starts) {
        s.it.x = Math.round(s.x + dx / this.zoom);
        s.it.y = Math.round(s.y + dy / this.zoom);
        this.placeElement(s.el, s.it);
      }
    }, (moved) => { if (moved) this.onChange('move'); });
  },

  startResize(e, item) {
    const el = this.elementOf(item.id);
    const start = { w: item.w, h: item.h };
    this.track(e, (dx, dy) => {
      item.w = Math.max(40, Math.round(start.w + dx / this.zoom));
      // Pictures keep their proportions; notes and files resize freely.
      item.h = item.type === 'note' || item.type === 'file'
        ? Math.max(30, Math.round(start.h + dy / this.zoom)) : Math.round(item.w * start.h / start.w);
      this.placeElement(el, item);
    }, (moved) => { if (moved) this.onChange('resize'); });
  },
});
