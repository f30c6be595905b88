// SPDX-License-Identifier: GPL-3.0-or-later
// Word and PowerPoint export of the board, as Office Open XML packages written by the page and
// saved through the shell's saveFile. PowerPoint: one slide per board, or one per frame of the
// chosen export ratio, with pictures, notes and files where they lie on the board. Word: the
// notes as paragraphs and the pictures inline, in board order.
import { request } from './bridge.js';
import { base64DataUrl, boardView, toast } from './app.js';
import { buildOdf, ODF_MIME } from './odf.js';

const EMU_PER_INCH = 914400;
const SLIDE_LONG_SIDE = 12192000;   // a 16:9 slide's width, 13.33 in
const SLIDE_MIN_SIDE = 914400;      // the smallest side a presentation may have, 1 in
const DOCX_TEXT_WIDTH = 5943600;    // 6.5 in: a Letter or A4 page less its margins
const DOCX_TEXT_HEIGHT = 8229600;   // 9 in, so that a tall picture still fits one page

const MIME = {
  docx: 'application/vnd.openxmlformats-officedocument.wordprocessingml.document',
  pptx: 'application/vnd.openxmlformats-officedocument.presentationml.presentation',
};

// Text as XML character data: markup escaped, characters XML 1.0 cannot hold left out.
export function xmlText(text) {
  return String(text)
    .replace(/[^\t\n\r\u0020-\ud7ff\ue000-\ufffd\u{10000}-\u{10ffff}]/gu, '')
    .replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;');
}

// A local time stamp as the shell writes it into default names: NAME-YYYYMMDD-HHMM.ext
function officeStamp(ext) {
  const d = new Date();
  const two = (n) => String(n).padStart(2, '0');
  return `TAVRIK-${d.getFullYear()}${two(d.getMonth() + 1)}${two(d.getDate())}-${two(d.getHours())}${two(d.getMinutes())}.${ext}`;
}

function base64ToBytes(b64) {
  const bin = atob(b64);
  const out = new Uint8Array(bin.length);
  for (let i = 0; i < bin.length; i++) out[i] = bin.charCodeAt(i);
  return out;
}

// The picture of an image or template item as PNG or JPEG bytes; other formats (SVG, WebP, GIF)
// are drawn into a PNG, as not every Office program reads them. Null when it cannot be drawn.
export function pictureOf(item) {
  const url = base64DataUrl(item.src || '');
  const m = /^data:(image\/(?:png|jpeg));base64,(.*)$/is.exec(url);
  if (m) return { ext: m[1].toLowerCase() === 'image/png' ? 'png' : 'jpeg', bytes: base64ToBytes(m[2]) };
  const img = boardView.images.get(item.id);
  if (!img || !img.complete || !img.naturalWidth) return null;
  const c = document.createElement('canvas');
  c.width = img.naturalWidth;
  c.height = img.naturalHeight;
  c.getContext('2d').drawImage(img, 0, 0);
  return { ext: 'png', bytes: base64ToBytes(c.toDataURL('image/png').split(',')[1]) };
}

function hexColor(css, fallback) {
  const m = /^#([0-9a-f]{6})$/i.exec(css || '');
  return (m ? m[1] : fallback).toUpperCase();
}

const REL_NS = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships';
const PKG_REL_NS = 'http://schemas.openxmlformats.org/package/2006/relationships';
const XML_HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n';

function relsXml(rels) {
  return `${XML_HEAD}<Relationships xmlns="${PKG_REL_NS}">${rels.map((r) =>
    `<Relationship Id="${r.id}" Type="${REL_NS}/${r.type}" Target="${r.target}"/>`).join('')}</Relationships>`;
}

function contentTypesXml(overrides) {
  return `${XML_HEAD}<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">` +
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>' +
    '<Default Extension="xml" ContentType="application/xml"/>' +
    '<Default Extension="png" ContentType="image/png"/><Default Extension="jpeg" ContentType="image/jpeg"/>' +
    overrides.map(([part, type]) => `<Override PartName="${part}" ContentType="${type}"/>`).join('') + '</Types>';
}

function corePropsXml() {
  const now = new Date().toISOString().replace(/\.\d+Z$/, 'Z');
  return `${XML_HEAD}<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" ` +
    'xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/" ' +
    'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">' +
    `<dc:title>${xmlText(i18n.t('untitled'))}</dc:title><dc:creator>TAVRIK</dc:creator>` +
    `<dcterms:created xsi:type="dcterms:W3CDTF">${now}</dcterms:created>` +
    `<dcterms:modified xsi:type="dcterms:W3CDTF">${now}</dcterms:modified></cp:coreProperties>`;
}

const CORE_TYPE = 'application/vnd.openxmlformats-package.core-properties+xml';
const PKG_RELS = (main) => relsXml([
  { id: 'rId1', type: 'officeDocument', target: main },
  { id: 'rId2', type: 'metadata/core-properties', target: 'docProps/core.xml' },
]).replace(`${REL_NS}/metadata/core-properties`, 'http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties');

// ---- PowerPoint --------------------------------------------------------------------------------

// The board regions that become slides: the items' bounds, or with a ratio chosen, frames of that
// ratio as wide as the board, from top to bottom.
export function slideFrames(ratioIndex) {
  const b = boardView.bounds();
  if (!b) return [];
  const ratio = RATIOS[ratioIndex];
  if (!ratio) return [b];
  const want = ratio[0] / ratio[1];
  const frameH = b.w / want;
  if (b.h <= frameH) return [boardView.exportRect(ratioIndex)];
  const count = Math.ceil(b.h / frameH - 1e-9);
  return Array.from({ length: count }, (_, i) => ({ x: b.x, y: b.y + i * frameH, w: b.w, h: frameH }));
}

function slideSize(frame) {
  const scale = SLIDE_LONG_SIDE / Math.max(frame.w, frame.h);
  return {
    scale,
    cx: Math.max(SLIDE_MIN_SIDE, Math.round(frame.w * scale)),
    cy: Math.max(SLIDE_MIN_SIDE, Math.round(frame.h * scale)),
  };
}

export function overlaps(it, f) {
  return it.x < f.x + f.w && it.x + it.w > f.x && it.y < f.y + f.h && it.y + it.h > f.y;
}

function spTransform(it, frame, scale) {
  const x = Math.round((it.x - frame.x) * scale), y = Math.round((it.y - frame.y) * scale);
  const cx = Math.max(1, Math.round(it.w * scale)), cy = Math.max(1, Math.round(it.h * scale));
  return `<a:xfrm><a:off x="${x}" y="${y}"/><a:ext cx="${cx}" cy="${cy}"/></a:xfrm>`;
}

function textBody(lines, sizeHundredths, anchor = 't') {
  const paras = lines.map((line) => (line
    ? `<a:p><a:r><a:rPr lang="en-US" sz="${sizeHundredths}" dirty="0"><a:solidFill><a:srgbClr val="222222"/></a:solidFill></a:rPr>` +
      `<a:t>${xmlText(line)}</a:t></a:r></a:p>`
    : `<a:p><a:endParaRPr lang="en-US" sz="${sizeHundredths}"/></a:p>`)).join('');
  return `<p:txBody><a:bodyPr wrap="square" lIns="91440" tIns="91440" rIns="91440" bIns="91440" anchor="${anchor}">` +
    `<a:normAutofit/></a:bodyPr><a:lstStyle/>${paras || '<a:p/>'}</p:txBody>`;
}

function slideXml(frame, scale, picRel) {
  const shapes = [];
  let id = 2;
  // Board pixels to hundredths of a point at this slide's scale: a note's 16 px text.
  const fontSize = (px) => Math.max(100, Math.min(400000, Math.round(px * scale / 12700 * 100)));
  for (const it of boardView.items) {
    if (!overlaps(it, frame)) continue;
    const nv = (name) => `<p:cNvPr id="${id}" name="${xmlText(name)} ${id++}"/>`;
    if (it.type === 'image' || it.type === 'paper') {
      const rel = picRel(it);
      if (!rel) continue;
      shapes.push(`<p:pic><p:nvPicPr>${nv('Picture')}<p:cNvPicPr><a:picLocks noChangeAspect="1"/></p:cNvPicPr><p:nvPr/></p:nvPicPr>` +
        `<p:blipFill><a:blip r:embed="${rel}"/><a:stretch><a:fillRect/></a:stretch></p:blipFill>` +
        `<p:spPr>${spTransform(it, frame, scale)}<a:prstGeom prst="rect"><a:avLst/></a:prstGeom></p:spPr></p:pic>`);
    } else if (it.type === 'note') {
      shapes.push(`<p:sp><p:nvSpPr>${nv('Note')}<p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr>` +
        `<p:spPr>${spTransform(it, frame, scale)}<a:prstGeom prst="rect"><a:avLst/></a:prstGeom>` +
        `<a:solidFill><a:srgbClr val="${hexColor(it.color, 'FFF3A8')}"/></a:solidFill></p:spPr>` +
        `${textBody(String(it.text).split('\n'), fontSize(16))}</p:sp>`);
    } else if (it.type === 'file') {
      shapes.push(`<p:sp><p:nvSpPr>${nv('File')}<p:cNvSpPr/><p:nvPr/></p:nvSpPr>` +
        `<p:spPr>${spTransform(it, frame, scale)}<a:prstGeom prst="rect"><a:avLst/></a:prstGeom>` +
        '<a:solidFill><a:srgbClr val="EEF0F4"/></a:solidFill><a:ln w="12700"><a:solidFill><a:srgbClr val="9AA3B5"/></a:solidFill></a:ln></p:spPr>' +
        `${textBody([it.name, it.mime], fontSize(15), 'ctr')}</p:sp>`);
    }
  }
  return `${XML_HEAD}<p:sld xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" xmlns:r="${REL_NS}" ` +
    'xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main"><p:cSld><p:bg><p:bgPr><a:solidFill><a:srgbClr val="FFFFFF"/></a:solidFill><a:effectLst/></p:bgPr></p:bg><p:spTree>' +
    '<p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>' +
    '<p:grpSpPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/><a:chOff x="0" y="0"/><a:chExt cx="0" cy="0"/></a:xfrm></p:grpSpPr>' +
    `${shapes.join('')}</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>`;
}

const P_NS = 'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" ' +
  `xmlns:r="${REL_NS}" xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main"`;
const EMPTY_TREE = '<p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>' +
  '<p:grpSpPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/><a:chOff x="0" y="0"/><a:chExt cx="0" cy="0"/></a:xfrm></p:grpSpPr></p:spTree></p:cSld>';

const MASTER_XML = `${XML_HEAD}<p:sldMaster ${P_NS}>${EMPTY_TREE}` +
  '<p:clrMap bg1="lt1" tx1="dk1" bg2="lt2" tx2="dk2" accent1="accent1" accent2="accent2" accent3="accent3" accent4="accent4" ' +
  'accent5="accent5" accent6="accent6" hlink="hlink" folHlink="folHlink"/>' +
  '<p:sldLayoutIdLst><p:sldLayoutId id="2147483649" r:id="rId1"/></p:sldLayoutIdLst></p:sldMaster>';

const LAYOUT_XML = `${XML_HEAD}<p:sldLayout ${P_NS} type="blank" preserve="1">` +
  EMPTY_TREE.replace('<p:cSld>', '<p:cSld name="Blank">') + '<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sldLayout>';

function themeXml() {
  const colors = [['dk1', '000000'], ['lt1', 'FFFFFF'], ['dk2', '44546A'], ['lt2', 'E7E6E6'], ['accent1', '0D9E8C'],
    ['accent2', 'ED7D31'], ['accent3', 'A5A5A5'], ['accent4', 'FFC000'], ['accent5', '5B9BD5'], ['accent6', '70AD47'],
    ['hlink', '0563C1'], ['folHlink', '954F72']];
  const fill = '<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>';
  const line = `<a:ln w="9525">${fill}</a:ln>`;
  return `${XML_HEAD}<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" name="TAVRIK"><a:themeElements>` +
    `<a:clrScheme name="TAVRIK">${colors.map(([n, v]) => `<a:${n}><a:srgbClr val="${v}"/></a:${n}>`).join('')}</a:clrScheme>` +
    '<a:fontScheme name="TAVRIK"><a:majorFont><a:latin typeface="Noto Sans"/><a:ea typeface="Noto Sans CJK SC"/><a:cs typeface=""/></a:majorFont>' +
    '<a:minorFont><a:latin typeface="Noto Sans"/><a:ea typeface="Noto Sans CJK SC"/><a:cs typeface=""/></a:minorFont></a:fontScheme>' +
    `<a:fmtScheme name="TAVRIK"><a:fillStyleLst>${fill}${fill}${fill}</a:fillStyleLst>` +
    `<a:lnStyleLst>${line}${line}${line}</a:lnStyleLst>` +
    '<a:effectStyleLst><a:effectStyle><a:effectLst/></a:effectStyle><a:effectStyle><a:effectLst/></a:effectStyle><a:effectStyle><a:effectLst/></a:effectStyle></a:effectStyleLst>' +
    `<a:bgFillStyleLst>${fill}${fill}${fill}</a:bgFillStyleLst></a:fmtScheme></a:themeElements></a:theme>`;
}

// The board as a PowerPoint presentation's bytes, or null for an empty board.
function buildPptx(ratioIndex = 0) {
  const frames = slideFrames(ratioIndex);
  if (!frames.length) return null;
  const size = slideSize(frames[0]);
  const entries = [];
  const media = new Map();  // item → media file name, each picture stored once
  let mediaCount = 0;
  const overrides = [
    ['/ppt/presentation.xml', 'application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml'],
    ['/ppt/slideMasters/slideMaster1.xml', 'application/vnd.openxmlformats-officedocument.presentationml.slideMaster+xml'],
    ['/ppt/slideLayouts/slideLayout1.xml', 'application/vnd.openxmlformats-officedocument.presentationml.slideLayout+xml'],
    ['/ppt/theme/theme1.xml', 'application/vnd.openxmlformats-officedocument.theme+xml'],
    ['/docProps/core.xml', CORE_TYPE],
  ];
  const slideRels = [];
  frames.forEach((frame, i) => {
    const n = i + 1;
    const rels = [{ id: 'rId1', type: 'slideLayout', target: '../slideLayouts/slideLayout1.xml' }];
    const picRel = (it) => {
      if (!media.has(it)) {
        const pic = pictureOf(it);
        if (!pic) return null;
        const name = `image${++mediaCount}.${pic.ext}`;
        entries.push({ name: `ppt/media/${name}`, data: pic.bytes });
        media.set(it, name);
      }
      const id = `rId${rels.length + 1}`;
      rels.push({ id, type: 'image', target: `../media/${media.get(it)}` });
      return id;
    };
    entries.push({ name: `ppt/slides/slide${n}.xml`, data: slideXml(frame, slideSize(frame).scale, picRel) });
    entries.push({ name: `ppt/slides/_rels/slide${n}.xml.rels`, data: relsXml(rels) });
    overrides.push([`/ppt/slides/slide${n}.xml`, 'application/vnd.openxmlformats-officedocument.presentationml.slide+xml']);
    slideRels.push({ id: `rId${n + 2}`, type: 'slide', target: `slides/slide${n}.xml` });
  });
  const presentation = `${XML_HEAD}<p:presentation ${P_NS} saveSubsetFonts="1">` +
    '<p:sldMasterIdLst><p:sldMasterId id="2147483648" r:id="rId1"/></p:sldMasterIdLst>' +
    `<p:sldIdLst>${slideRels.map((r, i) => `<p:sldId id="${256 + i}" r:id="${r.id}"/>`).join('')}</p:sldIdLst>` +
    `<p:sldSz cx="${size.cx}" cy="${size.cy}"/><p:notesSz cx="6858000" cy="9144000"/></p:presentation>`;
  return zipStore([
    { name: '[Content_Types].xml', data: contentTypesXml(overrides) },
    { name: '_rels/.rels', data: PKG_RELS('ppt/presentation.xml') },
    { name: 'docProps/core.xml', data: corePropsXml() },
    { name: 'ppt/presentation.xml', data: presentation },
    { name: 'ppt/_rels/presentation.xml.rels', data: relsXml([
      { id: 'rId1', type: 'slideMaster', target: 'slideMasters/slideMaster1.xml' },
      { id: 'rId2', type: 'theme', target: 'theme/theme1.xml' }, ...slideRels]) },
    { name: 'ppt/slideMasters/slideMaster1.xml', data: MASTER_XML },
    { name: 'ppt/slideMasters/_rels/slideMaster1.xml.rels', data: relsXml([
      { id: 'rId1', type: 'slideLayout', target: '../slideLayouts/slideLayout1.xml' },
      { id: 'rId2', type: 'theme', target: '../theme/theme1.xml' }]) },
    { name: 'ppt/slideLayouts/slideLayout1.xml', data: LAYOUT_XML },
    { name: 'ppt/slideLayouts/_rels/slideLayout1.xml.rels', data: relsXml([
      { id: 'rId1', type: 'slideMaster', target: '../slideMasters/slideMaster1.xml' }]) },
    { name: 'ppt/theme/theme1.xml', data: themeXml() },
    ...entries,
  ]);
}

// ---- Word ----------------------------------------------------------------------------------------

const W_NS = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" ' +
  `xmlns:r="${REL_NS}" xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing" ` +
  'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" ' +
  'xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture"';

function wordRuns(text) {
  return String(text).split('\n').map((line, i) =>
    `${i ? '<w:r><w:br/></w:r>' : ''}<w:r><w:t xml:space="preserve">${xmlText(line)}</w:t></w:r>`).join('');
}

function inlinePicture(rel, id, it) {
  let cx = DOCX_TEXT_WIDTH, cy = Math.round(DOCX_TEXT_WIDTH * it.h / it.w);
  if (cy > DOCX_TEXT_HEIGHT) {
    cx = Math.round(cx * DOCX_TEXT_HEIGHT / cy);
    cy = DOCX_TEXT_HEIGHT;
  }
  const name = xmlText(it.name || `Picture ${id}`);
  return `<w:p><w:r><w:drawing><wp:inline distT="0" distB="0" distL="0" distR="0"><wp:extent cx="${cx}" cy="${cy}"/>` +
    `<wp:docPr id="${id}" name="${name}"/><wp:cNvGraphicFramePr><a:graphicFrameLocks noChangeAspect="1"/></wp:cNvGraphicFramePr>` +
    '<a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/picture"><pic:pic>' +
    `<pic:nvPicPr><pic:cNvPr id="${id}" name="${name}"/><pic:cNvPicPr/></pic:nvPicPr>` +
    `<pic:blipFill><a:blip r:embed="${rel}"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill>` +
    `<pic:spPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="${cx}" cy="${cy}"/></a:xfrm><a:prstGeom prst="rect"><a:avLst/></a:prstGeom></pic:spPr>` +
    '</pic:pic></a:graphicData></a:graphic></wp:inline></w:drawing></w:r></w:p>';
}

// The board as a Word document's bytes, or null for an empty board.
function buildDocx() {
  if (boardView.isEmpty()) return null;
  const media = [];
  const rels = [];
  const body = [];
  for (const it of boardView.items) {
    if (it.type === 'note') {
      body.push(`<w:p>${wordRuns(it.text)}</w:p>`);
    } else if (it.type === 'file') {
      body.push(`<w:p><w:r><w:rPr><w:i/></w:rPr><w:t xml:space="preserve">${xmlText(`[${it.name}] ${it.mime}`)}</w:t></w:r></w:p>`);
    } else {
      const pic = pictureOf(it);
      if (!pic) continue;
      const name = `image${media.length + 1}.${pic.ext}`;
      media.push({ name: `word/media/${name}`, data: pic.bytes });
      const rel = `rId${rels.length + 1}`;
      rels.push({ id: rel, type: 'image', target: `media/${name}` });
      body.push(inlinePicture(rel, media.length, it));
    }
  }
  const document = `${XML_HEAD}<w:document ${W_NS}><w:body>${body.join('')}` +
    '<w:sectPr><w:pgSz w:w="12240" w:h="15840"/><w:pgMar w:top="1440" w:right="1440" w:bottom="1440" w:left="1440" ' +
    'w:header="720" w:footer="720" w:gutter="0"/></w:sectPr></w:body></w:document>';
  return zipStore([
    { name: '[Content_Types].xml', data: contentTypesXml([
      ['/word/document.xml', 'application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml'],
      ['/docProps/core.xml', CORE_TYPE]]) },
    { name: '_rels/.rels', data: PKG_RELS('word/document.xml') },
    { name: 'docProps/core.xml', data: corePropsXml() },
    { name: 'word/document.xml', data: document },
    { name: 'word/_rels/document.xml.rels', data: relsXml(rels) },
    ...media,
  ]);
}

// ---- the Export items ------------------------------------------------------------------------------

export async function exportOffice(kind, ratioIndex = 0) {
  await boardView.readyPictures();  // pictures in formats Office may not read are redrawn from them
  const odf = kind === 'odt' || kind === 'odp';
  const bytes = odf ? buildOdf(kind, ratioIndex) : kind === 'pptx' ? buildPptx(ratioIndex) : buildDocx();
  if (!bytes) return toast(i18n.t('emptyBoard'));
  const mime = odf ? ODF_MIME[kind] : MIME[kind];
  request('saveFile', { name: officeStamp(kind), dataUrl: `data:${mime};base64,${bytesToBase64(bytes)}` });
  return bytes.length;
}
