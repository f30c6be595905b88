// SPDX-License-Identifier: GPL-3.0-or-later
// The page kit (html/bridge.js) against a fake channel: the messages it posts are kept, and the
// shell's page calls are made by calling the functions it installed on a fake window.
// Run: node tests/node/bridge_kit_test.mjs
import assert from 'node:assert/strict';
import test, { mock } from 'node:test';

import { createBridge } from '../../html/bridge.js';

function fake() {
  const sent = [];
  const host = {};
  const kit = createBridge({ post: (m) => sent.push(m), host });
  const last = (action) => sent.filter((m) => m.action === action).pop();
  return { kit, host, sent, last };
}

const settled = (promise) => Promise.race([
  promise.then((v) => ({ v }), (e) => ({ e })),
  new Promise((resolve) => setImmediate(() => resolve('pending'))),
]);

test('answers reach the request they belong to, whatever their order', async () => {
  const { kit, host, sent } = fake();
  const a = kit.request('vaultStatus', { keyId: 'a' });
  const b = kit.request('vaultStatus', { keyId: 'b' });
  const img = kit.request('fetchImage', { url: 'http://127.0.0.1/x.png' });
  assert.deepEqual(sent.map((m) => [m.action, m.keyId ?? m.url, m.reqId]),
    [['vaultStatus', 'a', a.reqId], ['vaultStatus', 'b', b.reqId], ['fetchImage', 'http://127.0.0.1/x.png', img.reqId]]);
  assert.equal(new Set([a.reqId, b.reqId, img.reqId, fake().kit.request('vaultList').reqId]).size, 4,
    'ids differ within a load and from another load of the page');

  // Answers that are not theirs: an unknown id, another kind's reply with this id, no object.
  host.__vaultReply({ reqId: 'vaultStatus-1', keyId: 'a' });
  host.__netReply({ reqId: a.reqId, ok: true });
  host.__imageFetched({ reqId: a.reqId, dataUrl: 'data:,' });
  host.__vaultReply(null);
  host.__vaultReply([a.reqId]);
  assert.equal(await settled(a), 'pending');

  host.__vaultReply({ reqId: b.reqId, keyId: 'b', has: true, hint: 'sk-…1' });
  host.__imageFetched({ reqId: img.reqId, error: 'HTTP 404' });
  host.__vaultReply({ reqId: a.reqId, keyId: 'a', has: false, hint: '' });
  host.__vaultReply({ reqId: a.reqId, keyId: 'a', has: true, hint: 'again' });  // a second answer is dropped
  assert.equal((await a).has, false);
  assert.equal((await b).hint, 'sk-…1');
  assert.equal((await img).error, 'HTTP 404');
});

test('refused calls, time limits and late answers', async () => {
  const { kit, host, sent, last } = fake();
  assert.throws(() => kit.send('vaultList'), TypeError, 'an answering command is a request');
  assert.throws(() => kit.send('netCancel', { reqId: 'x' }), TypeError, 'the kit cancels by itself');
  assert.throws(() => kit.request('setTitle', { title: 't' }), TypeError);
  assert.throws(() => kit.request('netRequest', { url: 'http://127.0.0.1/', stream: true }), TypeError);
  assert.throws(() => kit.on('nonsense', () => {}), TypeError);
  assert.equal(sent.length, 0);
  kit.send('setTitle', { title: 'T', action: 'saveJSON' });
  assert.deepEqual(sent.pop(), { title: 'T', action: 'setTitle' }, 'the action is the one named');

  mock.timers.enable({ apis: ['setTimeout'] });
  try {
    const net = kit.request('netRequest', { url: 'http://127.0.0.1/', body: '{}' }, { timeout: 1000 });
    const img = kit.request('fetchImage', { url: 'http://127.0.0.1/i' }, { timeout: 1000 });
    mock.timers.tick(999);
    assert.equal(await settled(net), 'pending');
    mock.timers.tick(1);
    await assert.rejects(net, { name: 'TimeoutError' });
    await assert.rejects(img, { name: 'TimeoutError' });
    assert.deepEqual(sent.filter((m) => m.action === 'netCancel'), [{ action: 'netCancel', reqId: net.reqId }],
      'a request the page gave up on is cancelled in the shell; an image fetch cannot be');
    host.__netReply({ reqId: net.reqId, ok: true, status: 200, text: 'late' });  // dropped, no error

    // Every rendered page restarts the time limit of its PDF.
    const pdf = kit.request('renderPDF', { name: 'a.pdf', dataUrl: 'data:application/pdf;base64,JVBE' },
      { timeout: 1000, onPage: () => {} });
    assert.equal(last('renderPDF').reqId, pdf.reqId);
    for (let i = 0; i < 3; i++) {
      mock.timers.tick(900);
      host.__pdfPageU(pdf.reqId, i, 3, 'data:image/jpeg;base64,/9j/');
    }
    host.__pdfRendered(pdf.reqId, []);
    assert.deepEqual(await pdf, { pages: 3, locked: false, pageCount: null });
  } finally {
    mock.timers.reset();
  }
});

test('an aborted request is cancelled once and its answer dropped', async () => {
  const { kit, host, sent } = fake();
  const stop = new AbortController();
  const net = kit.request('netRequest', { url: 'http://127.0.0.1/' }, { signal: stop.signal });
  stop.abort();
  stop.abort();
  await assert.rejects(net, { name: 'AbortError' });
  host.__netReply({ reqId: net.reqId, ok: false, error: 'cancelled' });
  assert.deepEqual(sent.map((m) => m.action), ['netRequest', 'netCancel']);

  // Aborted before it starts: nothing goes to the shell.
  const gone = AbortSignal.abort();
  await assert.rejects(kit.request('vaultList', {}, { signal: gone }), { name: 'AbortError' });
  const pieces = kit.stream({ url: 'http://127.0.0.1/' }, { signal: gone });
  await assert.rejects(pieces.reply, { name: 'AbortError' });
  assert.equal(sent.length, 2);

  // An answer that came first wins; a later abort changes nothing.
  const late = new AbortController();
  const list = kit.request('vaultList', {}, { signal: late.signal });
  host.__vaultReply({ reqId: list.reqId, keys: ['k'] });
  late.abort();
  assert.deepEqual((await list).keys, ['k']);
  assert.equal(sent.filter((m) => m.action === 'netCancel').length, 1);
});

test('a stream gives its pieces in order, then the final reply', async () => {
  const { kit, host, sent, last } = fake();
  const s = kit.stream({ url: 'http://127.0.0.1/chat', method: 'POST', body: 'b' });
  assert.deepEqual(last('netRequest'), { url: 'http://127.0.0.1/chat', method: 'POST', body: 'b', action: 'netRequest', reqId: s.reqId, stream: true });
  const chunk = (seq, text, extra = {}) => host.__netChunk({ reqId: s.reqId, seq, text, ...extra });
  chunk(0, 'a', { status: 200 });
  chunk(2, 'c');                   // before the one it follows
  chunk(1, 'b');
  chunk(1, 'b again');             // seen already
  host.__netChunk({ reqId: 'other', seq: 3, text: 'x' });
  host.__netChunk({ reqId: s.reqId, seq: 3, text: 42 });
  chunk(4, 'e');                   // 3 never comes
  host.__netReply({ reqId: s.reqId, ok: true, status: 200, text: '' });
  chunk(5, 'after the end');
  const got = [];
  for await (const piece of s) got.push(piece);
  assert.deepEqual(got, [{ seq: 0, text: 'a', status: 200 }, { seq: 1, text: 'b' }, { seq: 2, text: 'c' }, { seq: 4, text: 'e' }]);
  assert.deepEqual(await s.reply, { reqId: s.reqId, ok: true, status: 200, text: '' });

  // Read while it arrives; the shell's failure ends the pieces and is the reply.
  const t = kit.stream({ url: 'http://127.0.0.1/chat' });
  const reading = (async () => { const out = []; for await (const p of t) out.push(p.text); return out; })();
  host.__netChunk({ reqId: t.reqId, seq: 0, text: 'partial' });
  await new Promise(setImmediate);
  host.__netReply({ reqId: t.reqId, ok: false, error: 'timed out' });
  assert.deepEqual(await reading, ['partial']);
  assert.equal((await t.reply).error, 'timed out');
  assert.equal(sent.filter((m) => m.action === 'netCancel').length, 0);
});

test('a stream stops on its signal, on leaving the loop and on silence', async () => {
  const { kit, host, sent } = fake();
  const stop = new AbortController();
  const s = kit.stream({ url: 'http://127.0.0.1/' }, { signal: stop.signal });
  const got = [];
  const reading = (async () => { for await (const p of s) { got.push(p.text); if (got.length === 1) stop.abort(); } })();
  host.__netChunk({ reqId: s.reqId, seq: 0, text: 'one' });
  await assert.rejects(reading, { name: 'AbortError' });
  await assert.rejects(s.reply, { name: 'AbortError' });
  host.__netChunk({ reqId: s.reqId, seq: 1, text: 'two' });
  host.__netReply({ reqId: s.reqId, ok: false, error: 'cancelled' });
  assert.deepEqual(got, ['one']);

  const b = kit.stream({ url: 'http://127.0.0.1/' });
  host.__netChunk({ reqId: b.reqId, seq: 0, text: 'x' });
  for await (const p of b) if (p.text === 'x') break;
  await assert.rejects(b.reply, { name: 'AbortError' });
  assert.deepEqual(sent.filter((m) => m.action === 'netCancel').map((m) => m.reqId), [s.reqId, b.reqId]);

  mock.timers.enable({ apis: ['setTimeout'] });
  try {
    const quiet = kit.stream({ url: 'http://127.0.0.1/' }, { timeout: 1000 });
    for (let i = 0; i < 3; i++) {
      mock.timers.tick(900);
      host.__netChunk({ reqId: quiet.reqId, seq: i, text: String(i) });
    }
    assert.equal(await settled(quiet.reply), 'pending', 'each piece restarts the limit');
    mock.timers.tick(1000);
    await assert.rejects(quiet.reply, { name: 'TimeoutError' });
    assert.equal(sent.pop().reqId, quiet.reqId);
  } finally {
    mock.timers.reset();
  }
});

test('PDFs go whole or in pieces, and only their own pages reach them', async () => {
  const { kit, host, sent } = fake();
  const payload = 'QUJD'.repeat(300000);  // 1.2 M characters: three pieces
  const pages = [];
  const big = kit.request('renderPDF', { name: 'big.pdf', dataUrl: `data:application/pdf;base64,${payload}` },
    { onPage: (p) => pages.push(p) });
  assert.deepEqual(sent.map((m) => m.action), ['renderPDFBegin', 'renderPDFChunk', 'renderPDFChunk', 'renderPDFChunk', 'renderPDFEnd']);
  assert.ok(sent.every((m) => m.reqId === big.reqId));
  const chunks = sent.filter((m) => m.chunk).map((m) => m.chunk);
  assert.ok(chunks.every((c) => c.length % 4 === 0 && c.length <= 512 * 1024));
  assert.equal(chunks.join(''), payload);
  assert.equal(sent.at(-1).name, 'big.pdf');

  const locked = kit.request('renderPDF', { name: 'l.pdf', dataUrl: 'data:application/pdf;base64,JVBE' });
  host.__pdfPageU('someone-else', 0, 1, 'data:image/jpeg;base64,x');
  host.__pdfPageU(big.reqId, 0, 2, 'data:image/jpeg;base64,p0');
  host.__pdfPageU(big.reqId, 1, 2, 42);
  host.__pdfPageU(big.reqId, 1, 2, 'data:image/jpeg;base64,p1');
  const long = kit.request('renderPDF', { name: 't.pdf', dataUrl: 'data:application/pdf;base64,JVBE' });
  host.__pdfLocked(locked.reqId);
  host.__pdfRendered(locked.reqId, []);
  host.__pdfTruncated(big.reqId, 'many');  // not a count: ignored
  host.__pdfTruncated(long.reqId, 180);
  host.__pdfRendered(long.reqId, []);
  host.__pdfRendered(big.reqId, []);
  assert.deepEqual(pages.map((p) => [p.index, p.total, p.dataUrl.slice(-2)]), [[0, 2, 'p0'], [1, 2, 'p1']]);
  assert.deepEqual(await big, { pages: 2, locked: false, pageCount: null });
  assert.deepEqual(await locked, { pages: 0, locked: true, pageCount: null });
  assert.deepEqual(await long, { pages: 0, locked: false, pageCount: 180 });
});

test('saves are answered by action, oldest first, and every outcome is told', async () => {
  const { kit, host, sent } = fake();
  const outcomes = [];
  kit.on('saveResult', (r) => outcomes.push(`${r.action}:${r.reason}`));
  const first = kit.request('saveJSON', { json: '{}' });
  const png = kit.request('saveImage', { dataUrl: 'data:image/png;base64,', ext: 'png' });
  const stop = new AbortController();
  const second = kit.request('saveJSON', { json: '{"a":1}' }, { signal: stop.signal });
  const third = kit.request('saveJSON', { json: '{"a":2}' });
  assert.deepEqual(sent.map((m) => m.action), ['saveJSON', 'saveImage', 'saveJSON', 'saveJSON']);
  stop.abort();
  await assert.rejects(second, { name: 'AbortError' });

  host.__saveResult({ action: 'saveJSON', ok: false, name: '', reason: 'cancelled' });
  host.__saveResult({ action: 'savePDF', ok: true, name: 'x.pdf', reason: 'written' });  // nobody waits for it
  host.__saveResult({ action: 'saveJSON', ok: true, name: 'second.json', reason: 'written' });  // the aborted one's
  host.__saveResult({ action: 'saveJSON', ok: true, name: 'third.json', reason: 'written' });
  host.__saveResult({ action: 7 });
  host.__saveResult(null);
  assert.equal((await first).reason, 'cancelled');
  assert.equal((await third).name, 'third.json');
  assert.equal(await settled(png), 'pending');
  assert.deepEqual(outcomes, ['saveJSON:cancelled', 'savePDF:written', 'saveJSON:written', 'saveJSON:written']);
});

test('a board in pieces: Begin in the call, each piece on a later task, then End; no more once answered', async () => {
  const { kit, host, sent } = fake();
  const tick = () => new Promise((resolve) => setTimeout(resolve, 5));
  const made = [];
  function* pieces(n, tag) {
    for (let i = 0; i < n; i++) {
      made.push(`${tag}${i}`);
      yield `${tag}${i}`;
    }
  }
  const wire = () => sent.splice(0).map((m) => [m.action, m.data ?? m.to].filter((x) => x !== undefined).join(' '));

  const whole = kit.request('saveJSON', { pieces: pieces(3, 'a'), to: 'document' });
  assert.deepEqual(wire(), ['saveJSONBegin document'], 'only Begin before the call returns');
  assert.deepEqual(made, [], 'pieces are made later');
  while (sent.at(-1)?.action !== 'saveJSONEnd') await tick();
  assert.deepEqual(wire(), ['saveJSONChunk a0', 'saveJSONChunk a1', 'saveJSONChunk a2', 'saveJSONEnd']);
  host.__saveResult({ action: 'saveJSON', ok: true, name: 'b.json', reason: 'written', inPlace: true });
  assert.equal((await whole).inPlace, true);

  // Cancelled in the chooser while pieces go out: no more pieces, no End.
  const cancelled = kit.request('saveJSON', { pieces: pieces(50, 'c') });
  await tick();
  host.__saveResult({ action: 'saveJSON', ok: false, name: '', reason: 'cancelled' });
  assert.equal((await cancelled).reason, 'cancelled');
  await tick();
  const afterCancel = wire();
  assert.equal(afterCancel[0], 'saveJSONBegin');
  assert.ok(afterCancel.length < 10 && !afterCancel.includes('saveJSONEnd'), afterCancel.join());

  // A newer board takes the place of one still going out; one the page stops waiting for, or whose
  // pieces fail, is given up in the shell.
  const older = kit.request('saveJSON', { pieces: pieces(50, 'o') });
  const newer = kit.request('saveJSON', { pieces: pieces(2, 'n'), to: 'choose' });
  while (sent.at(-1)?.action !== 'saveJSONEnd') await tick();
  assert.deepEqual(wire(), ['saveJSONBegin', 'saveJSONBegin choose', 'saveJSONChunk n0', 'saveJSONChunk n1', 'saveJSONEnd']);
  host.__saveResult({ action: 'saveJSON', ok: false, name: '', reason: 'cancelled' });
  host.__saveResult({ action: 'saveJSON', ok: true, name: 'n.json', reason: 'written' });
  assert.equal((await older).reason, 'cancelled');
  assert.equal((await newer).name, 'n.json');

  const stop = new AbortController();
  const aborted = kit.request('saveJSON', { pieces: pieces(50, 's') }, { signal: stop.signal });
  await tick();
  stop.abort();
  await assert.rejects(aborted, { name: 'AbortError' });
  while (sent.at(-1)?.action !== 'saveJSONAbort') await tick();
  const errors = mock.method(console, 'error', () => {});
  const reportError = globalThis.reportError;
  delete globalThis.reportError;
  kit.request('saveJSON', { pieces: (function* () { yield 'x'; throw new Error('no more'); })() });
  while (sent.at(-1)?.action !== 'saveJSONAbort' || sent.length < 4) await tick();
  if (reportError) globalThis.reportError = reportError;
  errors.mock.restore();
  assert.equal(errors.mock.callCount(), 1);
  assert.deepEqual(wire().slice(-3), ['saveJSONBegin', 'saveJSONChunk x', 'saveJSONAbort']);
});

test('what the shell says unasked reaches every listener, quit queries synchronously', () => {
  const { kit, host, sent } = fake();
  const heard = [];
  const off = kit.on('menuAction', (c) => heard.push(`menu ${c}`));
  const offBad = kit.on('menuAction', () => { throw new Error('one bad listener'); });
  kit.on('menuAction', (c) => heard.push(`again ${c}`));
  kit.on('openFailed', (name, reason) => heard.push(`${name} ${reason}`));
  kit.on('toast', (t) => heard.push(`toast ${t}`));
  kit.on('saveJSON', () => heard.push('save'));
  const errors = [];
  const report = globalThis.reportError;
  globalThis.reportError = (e) => errors.push(e.message);
  try {
    host.__menuAction('export:png');
  } finally {
    globalThis.reportError = report;
    offBad();
  }
  host.__openFailed('a.json', 'missing');
  host.toast('PDF 超过 25MB，无法读取');
  host.saveJSON();
  off();
  host.__menuAction('saveJSON');
  assert.deepEqual(heard, ['menu export:png', 'again export:png', 'a.json missing', 'toast PDF 超过 25MB，无法读取', 'save', 'again saveJSON']);
  assert.deepEqual(errors, ['one bad listener']);

  assert.equal(host.__quitHasContentU(), false, 'no listener: nothing unsaved');
  let unsaved = false;
  kit.on('quitHasContent', () => unsaved);
  kit.on('quitHasContent', () => undefined);
  assert.equal(host.__quitHasContentU(), false);
  unsaved = true;
  assert.equal(host.__quitHasContentU(), true);
  let flushed = 0;
  kit.on('quitFlush', () => { flushed++; kit.request('saveJSON', { json: '{}' }); });
  assert.equal(host.__quitFlushU(), undefined);
  assert.equal(flushed, 1);
  assert.equal(sent.at(-1).action, 'saveJSON', 'the save is posted before the call returns');

  // Dropped files are read by the shell once the page listens for them: asked once per load.
  assert.equal(sent.filter((m) => m.action === 'acceptFileDrops').length, 0);
  const drops = [];
  kit.on('fileDrop', (d) => drops.push(d));
  kit.on('fileDrop', () => {});
  assert.equal(sent.filter((m) => m.action === 'acceptFileDrops').length, 1);
  host.__fileDrop({ items: [], x: 1, y: 2 });
  assert.deepEqual(drops, [{ items: [], x: 1, y: 2 }]);
});

test('calls made before the kit ran are replayed in order, once its importers have subscribed', async () => {
  const sent = [];
  const host = { __bridgeEarly: [['__setLang', ['ja']], ['__restoreNative', ['{"items":[]}']], ['__boardOpened', ['a.json']]] };
  const kit = createBridge({ post: (m) => sent.push(m), host });
  const heard = [];
  kit.on('setLang', (code) => heard.push(`lang ${code}`));
  kit.on('restore', (text) => heard.push(`restore ${text}`));
  kit.on('boardOpened', (name) => heard.push(`opened ${name}`));
  assert.equal('__bridgeEarly' in host, false);
  assert.deepEqual(heard, []);
  await Promise.resolve();
  assert.deepEqual(heard, ['lang ja', 'restore {"items":[]}', 'opened a.json']);
});
