// SPDX-License-Identifier: GPL-3.0-or-later
// The board's arithmetic, free of the page: where the view looks, how a zoom keeps the point under
// the pointer still, where a new item goes so that it is seen and covers nothing. Rectangles are
// { x, y, w, h } in board units; a view is { x, y, zoom } (the board point at its top-left corner)
// with the viewport's size in screen pixels.
'use strict';

const MIN_ZOOM = 0.05;
const MAX_ZOOM = 4;
const PLACE_GAP = 24;      // between a new item and its neighbours
const PLACE_MARGIN = 24;   // between a new item and the view's edge, in screen pixels

// `floor`: a view that Fit took further out than the usual limit may stay there.
function clampZoom(zoom, floor = MIN_ZOOM) {
  return Math.min(MAX_ZOOM, Math.max(Math.min(MIN_ZOOM, floor), Number.isFinite(zoom) ? zoom : 1));
}

function overlaps(a, b, gap = 0) {
  return a.x < b.x + b.w + gap && b.x < a.x + a.w + gap && a.y < b.y + b.h + gap && b.y < a.y + a.h + gap;
}

function contains(outer, inner) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w &&
         inner.y + inner.h <= outer.y + outer.h;
}

// The rectangle holding all of `rects`, or null for none.
function unionRect(rects) {
  let x0 = Infinity, y0 = Infinity, x1 = -Infinity, y1 = -Infinity;
  for (const r of rects) {
    x0 = Math.min(x0, r.x); y0 = Math.min(y0, r.y);
    x1 = Math.max(x1, r.x + r.w); y1 = Math.max(y1, r.y + r.h);
  }
  return x0 === Infinity ? null : { x: x0, y: y0, w: x1 - x0, h: y1 - y0 };
}

// The board rectangle a view shows in a viewport of `width` × `height` pixels.
function viewRect(view, width, height) {
  return { x: view.x, y: view.y, w: width / view.zoom, h: height / view.zoom };
}

// The view after zooming to `zoom` with the screen point (px, py) of the viewport staying on the
// same board point.
function zoomAround(view, zoom, px, py) {
  const z = clampZoom(zoom, Math.min(view.zoom, zoom));
  const bx = view.x + px / view.zoom, by = view.y + py / view.zoom;
  return { x: bx - px / z, y: by - py / z, zoom: z };
}

// The view that shows all of `rect` centred, at most at 100 %, however far out that takes it.
function fitView(rect, width, height, margin = 40) {
  const w = Math.max(1, rect.w + 2 * margin), h = Math.max(1, rect.h + 2 * margin);
  const zoom = Math.max(1e-4, Math.min(1, width / w, height / h));
  return { x: rect.x + rect.w / 2 - width / zoom / 2, y: rect.y + rect.h / 2 - height / zoom / 2, zoom };
}

// The view moved as little as needed for `rect` to be seen whole (its top-left part when it is
// larger than the view), or the same view when it already is.
function revealView(view, width, height, rect, margin = PLACE_MARGIN) {
  const m = margin / view.zoom;
  const v = viewRect(view, width, height);
  const axis = (start, size, vStart, vSize) => {
    if (size + 2 * m > vSize) return start - m;  // too large: its start shows
    if (start - m < vStart) return start - m;
    if (start + size + m > vStart + vSize) return start + size + m - vSize;
    return vStart;
  };
  return { x: axis(rect.x, rect.w, v.x, v.w), y: axis(rect.y, rect.h, v.y, v.h), zoom: view.zoom };
}

// Where an item of w × h goes: inside `visible` (the view less its margin), on none of `others`,
// beside `previous` (the last item placed) when that is in view, else from the view's centre;
// reading order from there, then from the view's top. When the view is full it goes below it,
// where the view then follows it.
function placeFree(w, h, visible, others, previous) {
  const step = PLACE_GAP;
  let area = visible;
  const free = (x, y) => {
    const r = { x, y, w, h };
    return contains(area, r) && !others.some((o) => overlaps(r, o, step / 2));
  };
  let start;
  if (previous && overlaps(previous, visible)) {
    start = { x: previous.x + previous.w + step, y: previous.y };
    if (start.x + w > visible.x + visible.w) start = { x: visible.x, y: previous.y + previous.h + step };
  } else {
    start = { x: visible.x + visible.w / 2 - w / 2, y: visible.y + visible.h / 2 - h / 2 };
  }
  start.x = Math.max(visible.x, Math.min(start.x, visible.x + visible.w - w));
  start.y = Math.max(visible.y, Math.min(start.y, visible.y + visible.h - h));
  if (free(start.x, start.y)) return { x: Math.round(start.x), y: Math.round(start.y) };
  const rows = (y0, x0) => {
    for (let y = y0; y + h <= area.y + area.h; y += step) {
      for (let x = y === y0 ? x0 : area.x; x + w <= area.x + area.w; x += step)
        if (free(x, y)) return { x: Math.round(x), y: Math.round(y) };
    }
    return null;
  };
  const found = rows(start.y, start.x) || rows(visible.y, visible.x);
  if (found) return found;
  for (let k = 1; k <= 50; k++) {
    area = { ...visible, y: visible.y + k * visible.h };
    const below = rows(area.y, area.x);
    if (below) return below;
  }
  return { x: Math.round(start.x), y: Math.round(visible.y + 51 * visible.h) };
}

// Items laid out in rows from a point: `cursor` ({ x, y } the first item's left edge and middle
// line) moves past each one and wraps to a new row at the right edge of `visible`: below, or above
// the first row when there is no room below.
function placeInRows(cursor, w, h, visible) {
  if (cursor.left === undefined) {
    cursor.left = Math.max(visible.x, Math.min(cursor.x, visible.x + visible.w - w));
    cursor.x = cursor.left;
    cursor.y = Math.max(visible.y + h / 2, Math.min(cursor.y, visible.y + visible.h - h / 2));
    cursor.rowH = 0;
    cursor.top = cursor.y - h / 2;
  }
  if (cursor.x > cursor.left && cursor.x + w > visible.x + visible.w) {
    cursor.x = cursor.left;
    const below = cursor.y + cursor.rowH / 2 + PLACE_GAP;
    if (!cursor.up && (below + h <= visible.y + visible.h || cursor.top - PLACE_GAP - h < visible.y)) {
      cursor.y = below + h / 2;
    } else {
      cursor.top -= PLACE_GAP + h;
      cursor.y = cursor.top + h / 2;
      cursor.up = true;
    }
    cursor.rowH = 0;
  }
  const pos = { x: Math.round(cursor.x), y: Math.round(cursor.y - h / 2) };
  cursor.x += w + PLACE_GAP;
  cursor.rowH = Math.max(cursor.rowH, h);
  return pos;
}

if (typeof module !== 'undefined') {
  module.exports = { clampZoom, overlaps, contains, unionRect, viewRect, zoomAround, fitView, revealView,
                     placeFree, placeInRows, MIN_ZOOM, MAX_ZOOM, PLACE_GAP };
}
