// SPDX-License-Identifier: GPL-3.0-or-later
// A board's text in pieces (html/board_text.js): joined, the pieces are JSON.stringify's text of the
// whole board; none is longer than asked or ends inside a surrogate pair; long strings are cut.
// Run: node tests/node/board_text_test.mjs
import assert from 'node:assert/strict';
import test from 'node:test';

import { boardPieces } from '../../html/board_text.js';

const board = (items) => ({ format: 'tavrik-board', version: 1, items });
const photo = `data:image/jpeg;base64,${'QUJD'.repeat(5000)}`;

test('pieces join into the whole text, within the size, never splitting a pair', () => {
  const cases = [
    ['empty board', board([]), 4],
    ['a note of emoji at every offset', board([{ type: 'note', text: '😀'.repeat(40), x: 1 }]), 7],
    ['emoji after an odd prefix', board([{ type: 'note', text: `a${'𝄞'.repeat(33)}` }]), 8],
    ['a long picture among notes', board([{ type: 'note', text: '便签' }, { type: 'image', src: photo }, { type: 'note', text: 'z' }]), 4096],
    ['pieces of one character', board([{ text: 'ab😀' }]), 1],
    ['no items member', { format: 'tavrik-board', version: 1 }, 16],
    ['items that JSON leaves out', board([undefined, () => 1, { a: undefined }]), 5],
    ['lone surrogates are escaped by JSON', board([{ text: '\ud800x\udc00' }]), 3],
  ];
  for (const [name, doc, size] of cases) {
    const pieces = [...boardPieces(doc, size)];
    assert.equal(pieces.join(''), JSON.stringify({ ...doc, items: doc.items ?? [] }), name);
    for (const p of pieces) {
      assert.ok(p.length <= Math.max(2, size), `${name}: a piece of ${p.length}`);
      assert.ok(!/[\ud800-\udbff]$/.test(p) && !/^[\udc00-\udfff]/.test(p), `${name}: a pair cut in ${JSON.stringify(p)}`);
    }
    if (size >= 4096) assert.ok(pieces.length > JSON.stringify(doc).length / size, `${name}: the picture is cut`);
  }
});

test('pieces are made as they are asked for', () => {
  let read = 0;
  const items = Array.from({ length: 5 }, (_, i) => ({ get text() { read++; return `n${i}`; } }));
  const pieces = boardPieces(board(items), 10);
  assert.equal(read, 0);
  pieces.next();
  assert.ok(read < items.length, `${read} items read for the first piece`);
});
