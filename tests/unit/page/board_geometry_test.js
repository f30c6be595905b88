// SPDX-License-Identifier: GPL-3.0-or-later
// The board's arithmetic under node: zoom keeps the point under the pointer, Fit shows everything
// (far off the top-left too), new items land in view beside the last one and on nothing, rows of
// dropped items wrap before the view's edge; and AI base addresses completed to the chat path.
'use strict';
const assert = require('node:assert/strict');
const path = require('node:path');
const test = require('node:test');
const g = require(path.join(__dirname, '../../../html/board_geometry.js'));
global.AI_PROVIDERS = undefined;
const { completeAiEndpoint } = require(path.join(__dirname, '../../../html/ai.js'));

const screenOf = (view, p) => ({ x: (p.x - view.x) * view.zoom, y: (p.y - view.y) * view.zoom });

test('zooming around a point keeps that board point under it', () => {
  for (const [view, zoom, px, py] of [
    [{ x: 0, y: 0, zoom: 1 }, 2, 100, 50],
    [{ x: -5000, y: 300, zoom: 0.3 }, 0.1, 640, 400],
    [{ x: 12, y: -7, zoom: 4 }, 10, 0, 0],  // clamped to the largest zoom
  ]) {
    const board = { x: view.x + px / view.zoom, y: view.y + py / view.zoom };
    const next = g.zoomAround(view, zoom, px, py);
    const s = screenOf(next, board);
    assert.ok(Math.abs(s.x - px) < 1e-6 && Math.abs(s.y - py) < 1e-6, JSON.stringify({ view, zoom, next }));
    assert.ok(next.zoom <= g.MAX_ZOOM && next.zoom >= g.MIN_ZOOM);
  }
});

test('fit shows all of the content, at most at 100 %, wherever it lies', () => {
  for (const rect of [
    { x: -40000, y: -30000, w: 41000, h: 30500 },  // a note pushed far off the top-left
    { x: 100, y: 100, w: 200, h: 100 },            // small: 100 %, centred
    { x: -10, y: 5, w: 1, h: 90000 },              // a long strip
  ]) {
    const v = g.fitView(rect, 1000, 700);
    const seen = g.viewRect(v, 1000, 700);
    assert.ok(g.contains(seen, rect), JSON.stringify({ rect, v }));
    assert.ok(v.zoom <= 1);
  }
  assert.equal(g.fitView({ x: 100, y: 100, w: 200, h: 100 }, 1000, 700).zoom, 1);
});

test('reveal moves the view only as far as needed', () => {
  const view = { x: 0, y: 0, zoom: 1 };
  assert.deepEqual(g.revealView(view, 800, 600, { x: 100, y: 100, w: 50, h: 50 }), view);
  const right = g.revealView(view, 800, 600, { x: 1000, y: 100, w: 100, h: 50 });
  assert.ok(g.contains(g.viewRect(right, 800, 600), { x: 1000, y: 100, w: 100, h: 50 }));
  assert.equal(right.y, 0);
  const above = g.revealView(view, 800, 600, { x: 100, y: -500, w: 100, h: 50 });
  assert.ok(above.y <= -500 && above.x === 0, JSON.stringify(above));
});

test('new items land in view, beside the previous one, on no other item', () => {
  const visible = { x: -200, y: 1000, w: 900, h: 600 };
  const others = [];
  let previous = null;
  for (let i = 0; i < 12; i++) {
    const pos = g.placeFree(220, 140, visible, others, previous);
    const r = { ...pos, w: 220, h: 140 };
    // Three rows of three fill the view; the rest go below it.
    assert.equal(g.contains(visible, r), i < 9, `item ${i} in view: ${JSON.stringify(r)}`);
    assert.ok(!others.some((o) => g.overlaps(o, r)), `item ${i} on no other`);
    if (previous && i < 2) assert.equal(r.x, previous.x + previous.w + g.PLACE_GAP, 'beside the previous one');
    others.push(r);
    previous = r;
  }
});

test('rows of dropped items wrap before the edge of the view', () => {
  const visible = { x: 0, y: 0, w: 700, h: 800 };
  const cursor = { x: 600, y: 100 };  // dropped near the right edge
  const rects = [0, 1, 2].map(() => ({ ...g.placeInRows(cursor, 220, 140, visible), w: 220, h: 140 }));
  for (const r of rects) assert.ok(r.x + r.w <= visible.x + visible.w, JSON.stringify(rects));
  for (let i = 0; i < rects.length; i++)
    for (let j = i + 1; j < rects.length; j++) assert.ok(!g.overlaps(rects[i], rects[j]), JSON.stringify(rects));
});

test('AI base addresses are completed to the chat path; full ones are kept', () => {
  for (const [href, provider, want] of [
    ['http://127.0.0.1:11434/v1', 'openai', 'http://127.0.0.1:11434/v1/chat/completions'],
    ['http://127.0.0.1:11434/v1/', 'openai', 'http://127.0.0.1:11434/v1/chat/completions'],
    ['https://api.example.test/', 'openai', 'https://api.example.test/v1/chat/completions'],
    ['https://api.example.test', 'anthropic', 'https://api.example.test/v1/messages'],
    ['https://api.example.test/v1', 'anthropic', 'https://api.example.test/v1/messages'],
    ['https://gw.example.test/openai/v1?x=1', 'custom', 'https://gw.example.test/openai/v1/chat/completions?x=1'],
    ['https://gw.example.test/v1beta', 'openai', 'https://gw.example.test/v1beta/chat/completions'],
    ['http://127.0.0.1:11434/v1/chat/completions', 'openai', 'http://127.0.0.1:11434/v1/chat/completions'],
    ['http://127.0.0.1:11434/api/chat', 'openai', 'http://127.0.0.1:11434/api/chat'],
    [null, 'openai', null],
  ]) {
    assert.equal(completeAiEndpoint(href, provider), want, `${href} (${provider})`);
  }
});
