// SPDX-License-Identifier: GPL-3.0-or-later
// The pixel size of a JPEG data URL, read from its frame header, so that a rendered PDF page can be
// placed without loading the image first: every image load of a data URL costs WebKit a copy and a
// parse of the whole URL in the shell's process, and a page image's URL is close to a megabyte.
'use strict';

// { width, height } from the first frame header, or null when the text is not a base64 JPEG data
// URL whose header can be read, or when it carries an Exif segment (its orientation may turn the
// image, which only a real load accounts for).
function jpegSize(dataUrl) {
  if (typeof dataUrl !== 'string' || !/^data:image\/jpeg;base64,/i.test(dataUrl)) return null;
  const start = dataUrl.indexOf(',') + 1;
  // Headers sit in the first bytes; 96 K of base64 (72 KB) also covers large metadata segments.
  let bytes;
  try {
    bytes = atob(dataUrl.slice(start, start + Math.min(dataUrl.length - start, 98304)));
  } catch {
    return null;
  }
  const at = (i) => bytes.charCodeAt(i);
  if (bytes.length < 4 || at(0) !== 0xff || at(1) !== 0xd8) return null;
  let i = 2;
  while (i + 3 < bytes.length) {
    if (at(i) !== 0xff) return null;
    const marker = at(i + 1);
    if (marker === 0xff) { i++; continue; }  // fill byte
    if (marker === 0x01 || (marker >= 0xd0 && marker <= 0xd7)) { i += 2; continue; }
    const length = (at(i + 2) << 8) | at(i + 3);
    if (length < 2) return null;
    if (marker === 0xe1 && bytes.slice(i + 4, i + 8) === 'Exif') return null;
    const frame = marker >= 0xc0 && marker <= 0xcf && marker !== 0xc4 && marker !== 0xc8 && marker !== 0xcc;
    if (frame) {
      if (i + 8 >= bytes.length) return null;
      const height = (at(i + 5) << 8) | at(i + 6), width = (at(i + 7) << 8) | at(i + 8);
      return width > 0 && height > 0 ? { width, height } : null;
    }
    if (marker === 0xd9 || marker === 0xda) return null;  // end, or scan data before any frame
    i += 2 + length;
  }
  return null;
}

if (typeof module !== 'undefined') module.exports = { jpegSize };
