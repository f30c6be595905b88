// SPDX-License-Identifier: GPL-3.0-or-later
// OpenDocument export of the board (ODT and ODP), the counterparts of the Word and PowerPoint
// exports that every Linux office suite opens natively. Same stored-entry ZIP; the "mimetype" entry
// comes first and unstored-compressed, as the format requires.
import { boardView } from './app.js';
import { overlaps, pictureOf, slideFrames, xmlText } from './office.js';

const ODF_MIME = {
  odt: 'application/vnd.oasis.opendocument.text',
  odp: 'application/vnd.oasis.opendocument.presentation',
};
const NS = 'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" ' +
  'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" ' +
  'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" ' +
  'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" ' +
  'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" ' +
  'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" ' +
  'xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" ' +
  'xmlns:xlink="http://www.w3.org/1999/xlink" office:version="1.3"';
const HEAD = '<?xml version="1.0" encoding="UTF-8"?>\n';
const TEXT_WIDTH_CM = 17;      // an A4 page less its margins
const TEXT_HEIGHT_CM = 24;
const SLIDE_LONG_SIDE_CM = 28; // a 16:9 slide's width

const paragraphs = (text) => String(text).split('\n').map((l) => `<text:p>${xmlText(l)}</text:p>`).join('');

function pictures() {
  const entries = [];
  const names = new Map();
  return {
    entries,
    nameOf(it) {
      if (!names.has(it)) {
        const pic = pictureOf(it);
        if (!pic) return null;
        const name = `Pictures/image${names.size + 1}.${pic.ext === 'jpeg' ? 'jpg' : 'png'}`;
        entries.push({ name, data: pic.bytes, mime: pic.ext === 'jpeg' ? 'image/jpeg' : 'image/png' });
        names.set(it, name);
      }
      return names.get(it);
    },
  };
}

function packageOf(kind, body, pics) {
  const content = `${HEAD}<office:document-content ${NS}><office:body>${body}</office:body></office:document-content>`;
  const manifest = `${HEAD}<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.3">` +
    `<manifest:file-entry manifest:full-path="/" manifest:media-type="${ODF_MIME[kind]}"/>` +
    '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>' +
    pics.entries.map((p) => `<manifest:file-entry manifest:full-path="${p.name}" manifest:media-type="${p.mime}"/>`).join('') +
    '</manifest:manifest>';
  return zipStore([
    { name: 'mimetype', data: ODF_MIME[kind] },
    { name: 'META-INF/manifest.xml', data: manifest },
    { name: 'content.xml', data: content },
    ...pics.entries.map(({ name, data }) => ({ name, data })),
  ]);
}

// The notes as paragraphs and the pictures as frames of the text width, in board order.
function buildOdt() {
  if (boardView.isEmpty()) return null;
  const pics = pictures();
  const body = [];
  for (const it of boardView.items) {
    if (it.type === 'note') body.push(paragraphs(it.text));
    else if (it.type === 'file') body.push(`<text:p>${xmlText(`[${it.name}] ${it.mime}`)}</text:p>`);
    else {
      const name = pics.nameOf(it);
      if (!name) continue;
      let w = TEXT_WIDTH_CM, h = TEXT_WIDTH_CM * it.h / it.w;
      if (h > TEXT_HEIGHT_CM) { w *= TEXT_HEIGHT_CM / h; h = TEXT_HEIGHT_CM; }
      body.push(`<text:p><draw:frame draw:name="${xmlText(it.name || name)}" text:anchor-type="as-char" ` +
        `svg:width="${w.toFixed(3)}cm" svg:height="${h.toFixed(3)}cm"><draw:image xlink:href="${name}" ` +
        'xlink:type="simple" xlink:show="embed" xlink:actuate="onLoad"/></draw:frame></text:p>');
    }
  }
  return packageOf('odt', `<office:text>${body.join('')}</office:text>`, pics);
}

// One slide per board frame, with its pictures, notes and files where they lie.
function buildOdp(ratioIndex) {
  const frames = slideFrames(ratioIndex);
  if (!frames.length) return null;
  const pics = pictures();
  const first = frames[0];
  const scale = SLIDE_LONG_SIDE_CM / Math.max(first.w, first.h);
  const cm = (v) => `${(v * scale).toFixed(3)}cm`;
  const slides = frames.map((frame, i) => {
    const shapes = [];
    for (const it of boardView.items) {
      if (!overlaps(it, frame)) continue;
      const box = `svg:x="${cm(it.x - frame.x)}" svg:y="${cm(it.y - frame.y)}" svg:width="${cm(it.w)}" svg:height="${cm(it.h)}"`;
      if (it.type === 'image' || it.type === 'paper') {
        const name = pics.nameOf(it);
        if (name) shapes.push(`<draw:frame ${box}><draw:image xlink:href="${name}" xlink:type="simple" xlink:show="embed" xlink:actuate="onLoad"/></draw:frame>`);
      } else {
        const text = it.type === 'note' ? it.text : `${it.name}\n${it.mime}`;
        shapes.push(`<draw:frame ${box}><draw:text-box>${paragraphs(text)}</draw:text-box></draw:frame>`);
      }
    }
    return `<draw:page draw:name="page${i + 1}">${shapes.join('')}</draw:page>`;
  });
  return packageOf('odp', `<office:presentation>${slides.join('')}</office:presentation>`, pics);
}

export function buildOdf(kind, ratioIndex = 0) {
  return kind === 'odp' ? buildOdp(ratioIndex) : buildOdt();
}
export { ODF_MIME };
