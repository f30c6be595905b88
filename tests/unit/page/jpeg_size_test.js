// SPDX-License-Identifier: GPL-3.0-or-later
// The size of a rendered page read from its JPEG header: real headers, the segments that may come
// before the frame, and texts that must fall back to loading the image.
'use strict';
const assert = require('node:assert/strict');
const path = require('node:path');
const { jpegSize } = require(path.join(__dirname, '../../../html/jpeg_size.js'));

const seg = (marker, body) => [0xff, marker, (body.length + 2) >> 8, (body.length + 2) & 0xff, ...body];
const sof = (marker, w, h) => seg(marker, [8, h >> 8, h & 0xff, w >> 8, w & 0xff, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1]);
const jfif = seg(0xe0, [...Buffer.from('JFIF\0'), 1, 1, 0, 0, 1, 0, 1, 0, 0]);
const dqt = seg(0xdb, [0, ...new Array(64).fill(1)]);
const sos = seg(0xda, [1, 1, 0, 0, 63, 0]);
const url = (bytes, prefix = 'data:image/jpeg;base64,') => prefix + Buffer.from(bytes).toString('base64');

const cases = [
  ['baseline page', url([0xff, 0xd8, ...jfif, ...dqt, ...sof(0xc0, 1484, 1920), ...sos, 1, 2, 3]), { width: 1484, height: 1920 }],
  ['progressive, fill bytes, a large comment first', url([0xff, 0xd8, 0xff, ...seg(0xfe, new Array(40000).fill(65)), ...sof(0xc2, 1920, 1357)]), { width: 1920, height: 1357 }],
  ['capital MIME type', url([0xff, 0xd8, ...sof(0xc1, 1920, 1920)], 'data:IMAGE/JPEG;base64,'), { width: 1920, height: 1920 }],
  ['Huffman table marker is no frame', url([0xff, 0xd8, ...seg(0xc4, [0, 1, 2]), ...sof(0xc0, 10, 20)]), { width: 10, height: 20 }],
  ['Exif may turn the image: load it', url([0xff, 0xd8, ...seg(0xe1, [...Buffer.from('Exif\0\0'), 0, 0]), ...sof(0xc0, 10, 20)]), null],
  ['scan before any frame', url([0xff, 0xd8, ...sos, ...sof(0xc0, 10, 20)]), null],
  ['frame header cut short', url([0xff, 0xd8, ...sof(0xc0, 10, 20)].slice(0, 9)), null],
  ['zero width', url([0xff, 0xd8, ...sof(0xc0, 0, 20)]), null],
  ['garbage between segments', url([0xff, 0xd8, ...jfif, 0x00, ...sof(0xc0, 10, 20)]), null],
  ['a PNG', url([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a], 'data:image/png;base64,'), null],
  ['not base64', 'data:image/jpeg;base64,*not*base64*', null],
  ['not a string', 42, null],
];
let failed = 0;
for (const [name, input, want] of cases) {
  try {
    assert.deepEqual(jpegSize(input), want);
  } catch {
    failed++;
    console.error(`FAIL ${name}: ${JSON.stringify(jpegSize(input))}`);
  }
}
if (failed) {
  console.error(`${failed} failed`);
  process.exit(1);
}
console.log(`ok: ${cases.length} headers`);
