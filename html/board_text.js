// SPDX-License-Identifier: GPL-3.0-or-later
// A board's text in pieces, made item by item as they are asked for: joined, the pieces are the text
// JSON.stringify gives for the whole board, which is never held whole. A big board is mostly a few
// long pictures, so long strings are cut; a cut never falls between the two halves of a surrogate
// pair, since each piece is read as text of its own.

const isHighSurrogate = (code) => code >= 0xd800 && code <= 0xdbff;

/** @param {{items?: object[]}} doc @param {number} size characters a piece holds at most */
export function* boardPieces(doc, size) {
  size = Math.max(2, Math.floor(size));
  let text = '';
  function* add(more) {
    text += more;
    while (text.length >= size) {
      const at = isHighSurrogate(text.charCodeAt(size - 1)) ? size - 1 : size;
      yield text.slice(0, at);
      text = text.slice(at);
    }
  }
  const { items = [], ...rest } = doc;
  // The document's other members, then its items last: '{…,"items":[' … ']}'.
  yield* add(JSON.stringify({ ...rest, items: [] }).slice(0, -2));
  for (let i = 0; i < items.length; i++) yield* add((i ? ',' : '') + (JSON.stringify(items[i]) ?? 'null'));
  yield* add(']}');
  if (text) yield text;
}
