// SPDX-License-Identifier: GPL-3.0-or-later
// The page's one road to the shell. A page imports this module and never posts to the message
// handler or writes a window.__… function itself:
//
//   import { request, stream, send, on } from './bridge.js';
//   const reply = await request('vaultList');                  // every command that answers
//   for await (const piece of stream({ url, body }, { signal })) show(piece.text);
//   on('menuAction', (command) => …);                          // what the shell says unasked
//
// Commands that answer are matched to their answer by a request id made here, unique to this load
// of the page, so a late answer meant for an earlier page never lands on this one. Saves are the
// exception: the shell reports them by action, in the order it finishes them, so each action's
// saves are matched oldest first. What the shell says before this module has run is kept by
// bridge_early.js (a classic script the page loads first) and handed over here. Types for all of
// it are in bridge.d.ts beside this file.

const CHUNK_CHARS = 512 * 1024;  // base64 characters per renderPDFChunk; a multiple of 4

// The commands that answer, by the way their answers are matched.
const VAULT = new Set(['vaultSet', 'vaultDelete', 'vaultStatus', 'vaultList']);
const SAVES = new Set(['saveJSON', 'saveImage', 'savePDF', 'savePDFPages', 'saveFile']);
const REPLYING = new Set([...VAULT, ...SAVES, 'netRequest', 'fetchImage', 'renderPDF']);
// Commands this module sends itself, as part of the calls above or of a subscription.
const OWN = new Set(['netCancel', 'acceptFileDrops', 'acceptPasteItems', 'renderPDFBegin', 'renderPDFChunk', 'renderPDFEnd',
  'saveJSONBegin', 'saveJSONChunk', 'saveJSONEnd', 'saveJSONAbort']);

// The calls the shell makes unasked, by the window function it calls.
const EVENTS = {
  menuAction: '__menuAction', setLang: '__setLang', saveJSON: 'saveJSON', toast: 'toast',
  quitHasContent: '__quitHasContentU', quitFlush: '__quitFlushU', quitDiscard: '__quitDiscardU',
  floatDrop: '__floatDrop', fileDrop: '__fileDrop', pasteItems: '__pasteItems', restore: '__restoreNative',
  boardOpened: '__boardOpened', openProgress: '__openProgress', openFailed: '__openFailed', paper: '__paperFromNative',
  saveResult: null,  // every save's outcome, also one nobody waits for; sent from __saveResult
};

const isObject = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);

function abortError(signal) {
  return signal.reason ?? new DOMException('The request was aborted', 'AbortError');
}

// A bridge over `post` (which hands one command message to the shell), installing the page
// functions on `host` (the window). The module's own bridge, below, is the one pages use; tests
// make their own over a fake channel.
export function createBridge({ post, host = null }) {
  const session = `${Date.now().toString(36)}${Math.random().toString(36).slice(2, 7)}`;
  let counter = 0;
  const waiting = new Map();  // reqId → request in flight (not saves)
  const saves = new Map();    // action → saves in flight, oldest first
  const listeners = new Map();
  const asked = new Set();  // the events the shell has been asked for on this load

  const newReqId = (action) => `${action}-${session}-${++counter}`;

  function send(action, fields = {}) {
    if (REPLYING.has(action)) throw new TypeError(`${action} answers: use request()`);
    if (OWN.has(action)) throw new TypeError(`${action} is sent by the bridge itself`);
    post({ ...fields, action });
  }

  // ---- requests ------------------------------------------------------------------------------------

  // One request in flight: settles once, by its answer, its signal or its time limit. `kind` says
  // which page call answers it; `cancel` tells the shell when the page stops waiting.
  function track(reqId, kind, { signal, timeout, cancel, resolve, reject, extra }) {
    const entry = { reqId, kind, resolve, reject, timer: 0, ...extra };
    const stop = (error) => {
      if (!finish(entry)) return;
      if (cancel) post({ action: 'netCancel', reqId });
      reject(error);
    };
    entry.abort = () => stop(abortError(signal));
    entry.restartTimer = () => {
      clearTimeout(entry.timer);
      if (timeout > 0) entry.timer = setTimeout(() => stop(new DOMException('No answer in time', 'TimeoutError')), timeout);
    };
    entry.signal = signal;
    signal?.addEventListener('abort', entry.abort, { once: true });
    entry.restartTimer();
    waiting.set(reqId, entry);
    return entry;
  }

  // Takes the request out of the table; false when it was settled already.
  function finish(entry) {
    if (waiting.get(entry.reqId) !== entry) return false;
    waiting.delete(entry.reqId);
    clearTimeout(entry.timer);
    entry.signal?.removeEventListener('abort', entry.abort);
    return true;
  }

  // The request `reqId` names, when it is one of these kinds and still waiting.
  function pending(reqId, ...kinds) {
    const entry = typeof reqId === 'string' ? waiting.get(reqId) : undefined;
    return entry && kinds.includes(entry.kind) ? entry : undefined;
  }

  function answer(entry, value) {
    if (entry && finish(entry)) entry.resolve(value);
  }

  function request(action, fields = {}, options = {}) {
    if (!REPLYING.has(action)) throw new TypeError(`${action} does not answer: use send()`);
    const { signal, timeout = 0, onPage } = options;
    if (action === 'netRequest' && fields.stream) throw new TypeError('a streamed request is read with stream()');
    if (SAVES.has(action)) return requestSave(action, fields, signal);
    const reqId = newReqId(action);
    let entry = null;
    const promise = new Promise((resolve, reject) => {
      if (signal?.aborted) return reject(abortError(signal));
      const kind = VAULT.has(action) ? 'vault' : { netRequest: 'net', fetchImage: 'image', renderPDF: 'pdf' }[action];
      entry = track(reqId, kind, {
        signal, timeout, resolve, reject, cancel: action === 'netRequest',
        extra: { pages: 0, locked: false, pageCount: null, onPage },
      });
    });
    if (entry) {
      if (action === 'renderPDF') uploadPdf(reqId, fields);
      else post({ ...fields, action, reqId });
    }
    return Object.assign(promise, { reqId });
  }

  // A PDF goes whole when it is small, else in pieces so that no single message holds it all.
  function uploadPdf(reqId, { name, dataUrl }) {
    const text = String(dataUrl);
    const payload = text.slice(text.indexOf(',') + 1);
    if (payload.length <= CHUNK_CHARS) {
      post({ action: 'renderPDF', name, dataUrl: text, reqId });
      return;
    }
    post({ action: 'renderPDFBegin', reqId });
    for (let i = 0; i < payload.length; i += CHUNK_CHARS)
      post({ action: 'renderPDFChunk', reqId, chunk: payload.slice(i, i + CHUNK_CHARS) });
    post({ action: 'renderPDFEnd', reqId, name });
  }

  // A save waits for its chooser, however long the user takes; a page that stops waiting leaves
  // its place in the queue, so that the next answer still finds the save it belongs to.
  function requestSave(action, fields, signal) {
    const queue = saves.get(action) ?? [];
    saves.set(action, queue);
    const entry = { resolve: null, reject: null, done: false };
    const promise = new Promise((resolve, reject) => {
      Object.assign(entry, { resolve, reject });
      queue.push(entry);
      if (!signal) return;
      const abort = () => {
        if (entry.done) return;
        entry.done = true;
        reject(abortError(signal));
      };
      if (signal.aborted) abort();
      else signal.addEventListener('abort', abort, { once: true });
    });
    if (action === 'saveJSON' && fields.pieces !== undefined) sendPieces(fields, entry);
    else post({ ...fields, action });
    return promise;
  }

  // A board given as `pieces` (an iterable of strings, sync or async) goes in pieces, so that no
  // single message holds it all: saveJSONBegin at once, in this call (the shell shows its chooser or
  // starts the write, and a quit waiting on the save hears of it), then each piece on a task of its
  // own, so that the page keeps answering, then saveJSONEnd. A newer board in pieces takes the place
  // of one still going out (the shell gives that one up); a save already answered (the chooser
  // cancelled, a failed write) sends no more; one the page stopped waiting for, or whose pieces
  // failed, is given up with saveJSONAbort.
  let piecesOut = null;  // the board going out in pieces now
  function sendPieces({ pieces, to }, entry) {
    piecesOut?.stop();
    let stopped = false;
    const out = { stop: () => { stopped = true; } };
    piecesOut = out;
    post(to === undefined ? { action: 'saveJSONBegin' } : { action: 'saveJSONBegin', to });
    const over = () => stopped || entry.done;
    const it = pieces[Symbol.asyncIterator]?.() ?? pieces[Symbol.iterator]();
    (async () => {
      try {
        for (;;) {
          // Each piece is made on a task of its own, the first one too.
          await new Promise((resolve) => setTimeout(resolve, 0));
          if (over()) {
            await it.return?.();
            break;
          }
          const { value, done } = await it.next();
          if (done) break;
          if (!over()) post({ action: 'saveJSONChunk', data: String(value) });
        }
        if (stopped) return;  // the newer board gave this one up in the shell
        if (!entry.done) post({ action: 'saveJSONEnd' });
        else if (saves.get('saveJSON')?.includes(entry)) post({ action: 'saveJSONAbort' });  // not answered: aborted
      } catch (e) {
        if (!stopped) post({ action: 'saveJSONAbort' });
        if (typeof globalThis.reportError === 'function') globalThis.reportError(e);
        else console.error(e);
      } finally {
        if (piecesOut === out) piecesOut = null;
      }
    })();
  }

  // ---- streams -------------------------------------------------------------------------------------

  // A netRequest whose body arrives in pieces, in order; `reply` is the shell's final __netReply.
  // Breaking out of the loop, the signal and the idle time limit (restarted by every piece) each
  // cancel the request in the shell.
  function stream(fields, options = {}) {
    const { signal, timeout = 0 } = options;
    const reqId = newReqId('netRequest');
    const pieces = [];       // arrived, not yet read
    const early = new Map();  // seq → piece that came before the one before it
    let nextSeq = 0;
    let waiter = null;       // { resolve, reject } of a read waiting for a piece
    let ended = false;
    let failure = null;

    const wake = () => {
      if (!waiter) return;
      const w = waiter;
      waiter = null;
      if (pieces.length) w.resolve({ value: pieces.shift(), done: false });
      else if (failure) w.reject(failure);
      else if (ended) w.resolve({ value: undefined, done: true });
      else waiter = w;
    };
    const take = (piece) => {
      pieces.push(piece);
      nextSeq = piece.seq + 1;
      for (let p; (p = early.get(nextSeq)); early.delete(p.seq)) {
        pieces.push(p);
        nextSeq = p.seq + 1;
      }
    };

    let entry = null;
    let failReply = null;
    const fail = (e) => {
      failure = e;
      wake();
      failReply(e);
    };
    const reply = new Promise((resolve, reject) => {
      failReply = reject;
      if (signal?.aborted) {
        failure = abortError(signal);
        return reject(failure);
      }
      entry = track(reqId, 'stream', {
        signal, timeout, cancel: true, reject: fail,
        resolve: (r) => {
          // Pieces still missing one before them are not held back by it any longer.
          for (const seq of [...early.keys()].sort((a, b) => a - b)) pieces.push(early.get(seq));
          early.clear();
          ended = true;
          wake();
          resolve(r);
        },
        extra: {
          chunk(c) {
            const piece = { seq: typeof c.seq === 'number' ? c.seq : nextSeq, text: c.text };
            if (typeof c.status === 'number') piece.status = c.status;
            if (piece.seq > nextSeq) early.set(piece.seq, piece);
            else if (piece.seq === nextSeq) take(piece);
            else return;  // seen already
            entry.restartTimer();
            wake();
          },
        },
      });
    });
    reply.catch(() => {});  // a reader of the pieces alone hears of a failure from them
    if (entry) post({ ...fields, action: 'netRequest', reqId, stream: true });

    return {
      reqId,
      reply,
      [Symbol.asyncIterator]() {
        return {
          next: () => new Promise((resolve, reject) => {
            waiter = { resolve, reject };
            wake();
          }),
          // Leaving the loop early: the rest is not wanted.
          return: () => {
            if (entry && finish(entry)) {
              post({ action: 'netCancel', reqId });
              fail(new DOMException('The reader stopped', 'AbortError'));
            }
            return Promise.resolve({ value: undefined, done: true });
          },
        };
      },
    };
  }

  // ---- events --------------------------------------------------------------------------------------

  function on(event, listener) {
    if (!(event in EVENTS)) throw new TypeError(`no such event: ${event}`);
    if (typeof listener !== 'function') throw new TypeError('a listener is a function');
    if (!listeners.has(event)) listeners.set(event, new Set());
    listeners.get(event).add(listener);
    // The shell reads dropped files and the clipboard's files for a page that asks, once per load.
    const ask = { fileDrop: 'acceptFileDrops', pasteItems: 'acceptPasteItems' }[event];
    if (ask && !asked.has(event)) {
      asked.add(event);
      post({ action: ask });
    }
    return () => listeners.get(event).delete(listener);
  }

  // Calls every listener in the shell's own call; a listener that throws is reported and the
  // others still run. Returns whether any listener returned true (or threw, which for the quit
  // query keeps the board rather than dropping it).
  function emit(event, args) {
    let any = false;
    for (const listener of [...(listeners.get(event) ?? [])]) {
      try {
        if (listener(...args) === true) any = true;
      } catch (e) {
        any = true;
        if (typeof globalThis.reportError === 'function') globalThis.reportError(e);
        else console.error(e);
      }
    }
    return any;
  }

  // ---- the page functions the shell calls ------------------------------------------------------------

  const calls = {
    __vaultReply(r) {
      if (isObject(r)) answer(pending(r.reqId, 'vault'), r);
    },
    __netReply(r) {
      if (isObject(r)) answer(pending(r.reqId, 'net', 'stream'), r);
    },
    __netChunk(c) {
      const entry = isObject(c) && typeof c.text === 'string' ? pending(c.reqId, 'stream') : undefined;
      entry?.chunk(c);
    },
    __imageFetched(r) {
      if (isObject(r)) answer(pending(r.reqId, 'image'), r);
    },
    __pdfPageU(reqId, index, total, dataUrl) {
      const entry = pending(reqId, 'pdf');
      if (!entry || typeof dataUrl !== 'string') return;
      entry.pages++;
      entry.restartTimer();
      entry.onPage?.({ index, total, dataUrl });
    },
    __pdfLocked(reqId) {
      const entry = pending(reqId, 'pdf');
      if (entry) entry.locked = true;
    },
    __pdfTruncated(reqId, pageCount) {
      const entry = pending(reqId, 'pdf');
      if (entry && Number.isInteger(pageCount) && pageCount > 0) entry.pageCount = pageCount;
    },
    __pdfRendered(reqId) {
      const entry = pending(reqId, 'pdf');
      if (entry) answer(entry, { pages: entry.pages, locked: entry.locked, pageCount: entry.pageCount });
    },
    __saveResult(r) {
      if (!isObject(r) || typeof r.action !== 'string') return;
      const entry = saves.get(r.action)?.shift();
      if (entry && !entry.done) {
        entry.done = true;
        entry.resolve(r);
      }
      emit('saveResult', [r]);
    },
  };
  for (const [event, name] of Object.entries(EVENTS)) {
    if (name) calls[name] = (...args) => emit(event, args);
  }
  // The quit query is read by the shell: it answers synchronously, true meaning unsaved work.
  calls.__quitHasContentU = () => emit('quitHasContent', []);
  calls.__quitFlushU = () => { emit('quitFlush', []); };
  calls.__quitDiscardU = () => { emit('quitDiscard', []); };
  calls.saveJSON = () => { emit('saveJSON', []); };
  calls.toast = (text) => { emit('toast', [text]); };

  // Plain, writable properties: a test or a tool may wrap one and call the one it found.
  if (host) {
    // Calls kept by bridge_early.js before this module ran, replayed once the modules that import
    // it have run (and subscribed).
    const early = Array.isArray(host.__bridgeEarly) ? host.__bridgeEarly : [];
    delete host.__bridgeEarly;
    for (const [name, fn] of Object.entries(calls)) host[name] = fn;
    if (early.length) {
      queueMicrotask(() => {
        for (const [name, args] of early) if (calls[name]) calls[name](...args);
      });
    }
  }

  return { request, stream, send, on, calls };
}

// The bridge of this page: posts to the "canvasBridge" handler and owns the window's page
// functions. The handler object is held, not looked up again: WebKit makes a new one once the last
// is collected, and a wrapper a tool put on its postMessage would go with it.
const handler = globalThis.webkit?.messageHandlers?.canvasBridge;
const shell = createBridge({
  post: (message) => handler?.postMessage(message),
  host: typeof window === 'undefined' ? null : window,
});

export const { request, stream, send, on } = shell;
