// SPDX-License-Identifier: GPL-3.0-or-later
// A copy of the unsaved board, so that a forced quit, a crash or a cancelled save never loses it.
// It lives in IndexedDB (a board with photos is far larger than localStorage allows), is kept current
// while the board is unsaved, and is written a moment after the last change: quitting does not wait
// for an asynchronous write, so nothing is left to do at quit. Once a save is confirmed the copy
// goes; at the next start it is offered only if it holds work newer than the last settled state.
//
// Pictures and files make a board large (an imported template of a hundred pages is ~100 MB), while
// most changes touch only a few bytes of it. So every large string of an item is a record of its
// own, written once, and the board's record names it by key: a later change writes the small
// document and only the large strings it has not stored yet. Each write is one transaction that also
// drops the records nothing refers to any more (a write with many megabytes of new strings, several,
// each committing the board's record), so whatever moment the process ends at, the store holds a
// usable copy: the new one, the one before, or the new one without its newest large strings. When
// the store refuses a write (a full disk, a quota), the user is told, and told again once it works.
'use strict';

const recovery = (() => {
  const DB_NAME = 'tavrik';
  const STORE = 'recovery';
  const KEY = 'board';
  // Up to when the board's work is settled: saved to a file, opened from one, or knowingly dropped.
  // A small synchronous value, so that it is recorded even when the process ends right after.
  const SETTLED_KEY = 'tavrik.recovery.settledAt';
  const LEGACY_KEY = 'tavrik.recovery';  // the copy kept by earlier versions
  const DELAY_MS = 700;
  const LARGE = 64 * 1024;  // characters from which an item's string is stored as a record of its own
  // Characters of large strings handed to the store per turn of the page's loop: each is copied
  // there, and a hundred pages copied at once would hold the page up for a quarter of a second.
  const TURN_CHARS = 1 << 20;
  // Characters of new large strings per transaction. A board's first copy can carry tens of
  // megabytes, and nothing protects the board until a transaction commits: each piece commits the
  // board's record with it, so that after the first piece the board is covered (an item whose string
  // is still to come is left out of a copy read back meanwhile) and the rest follows piece by piece.
  const PIECE_CHARS = 4 << 20;

  let dbPromise = null;
  let timer = null;
  let pending = null;  // { at, read } of the change waiting for its write
  let queue = Promise.resolve();  // the store's work, one piece after the other
  // The large strings the store holds (those of the last committed copy), and their keys. Finding
  // one must not read it: WebKit's === compares two strings character by character even when they
  // are the same string, ~0.15 ms for a page of a template, so comparing a hundred of them would
  // cost as much as a small write. A picture or file of an item never changes in place (a new
  // picture is a new item), so the item's id finds its string's key; its length and a few samples
  // guard that. Other strings, and items seen first in a restored copy, are found by length and
  // compared whole, which for strings of one length is rare unless they are equal.
  let stored = newIndex();
  let sequence = 0;
  let failing = false;  // the last write failed, and the user was told
  const session = `${Date.now().toString(36)}${Math.random().toString(36).slice(2, 8)}`;

  function openDb() {
    if (!dbPromise) {
      dbPromise = new Promise((resolve, reject) => {
        const request = indexedDB.open(DB_NAME, 1);
        request.onupgradeneeded = () => request.result.createObjectStore(STORE);
        request.onsuccess = () => resolve(request.result);
        request.onerror = () => reject(request.error);
      }).catch((e) => {
        dbPromise = null;
        throw e;
      });
    }
    return dbPromise;
  }

  // Runs `use(store)` in one transaction; resolves with `use`'s result once it has committed.
  async function withStore(mode, use) {
    const db = await openDb();
    return new Promise((resolve, reject) => {
      const tx = db.transaction(STORE, mode);
      const result = use(tx.objectStore(STORE));
      tx.oncomplete = () => resolve(result);
      tx.onerror = tx.onabort = () => reject(tx.error);
    });
  }

  // Runs `job` once the store's earlier work is done, so that no write, clearing or reading of the
  // copy overtakes another and `stored` always describes what the store holds.
  function enqueue(job) {
    const run = queue.then(job);
    queue = run.catch(() => {});
    return run;
  }

  function settledAt() {
    try { return Number(localStorage.getItem(SETTLED_KEY)) || 0; } catch { return 0; }
  }

  function setSettled(at) {
    try { localStorage.setItem(SETTLED_KEY, String(Math.max(at, settledAt()))); } catch { /* storage off */ }
  }

  const FIXED = ['src', 'dataUrl'];  // the fields whose value an item keeps for as long as it lives

  function newIndex() {
    return { byLength: new Map(), byItem: new Map() };
  }

  function itemKey(item, field) {
    return FIXED.includes(field) && Number.isInteger(item.id) ? `${item.id}:${field}` : null;
  }

  function sameSamples(a, b) {
    if (a.length !== b.length) return false;
    for (const at of [0, a.length >> 1, a.length - 64]) if (a.slice(at, at + 64) !== b.slice(at, at + 64)) return false;
    return true;
  }

  // The key under which `index` holds the value of `item[field]`, found by the item, or null.
  function findByItem(index, item, field, value) {
    const id = itemKey(item, field);
    const known = id && index.byItem.get(id);
    return known && sameSamples(known.value, value) ? known.key : null;
  }

  // The same, found by comparing the value with the strings of its length.
  function findByValue(index, value) {
    for (const entry of index.byLength.get(value.length) || []) if (entry.value === value) return entry.key;
    return null;
  }

  function remember(index, item, field, value, key) {
    const id = item && itemKey(item, field);
    if (id) index.byItem.set(id, { value, key });
    const list = index.byLength.get(value.length);
    if (!list) index.byLength.set(value.length, [{ value, key }]);
    else if (!list.some((entry) => entry.key === key)) list.push({ value, key });
  }

  // The board record for `doc`, with its large strings taken out: `large` lists [item, field, key],
  // `fresh` the strings the store does not hold yet, `index` every large string the record names.
  function split(doc, at) {
    const index = newIndex();
    const fresh = [];
    const large = [];
    const items = Array.isArray(doc?.items) ? doc.items.map((it, i) => {
      if (!it || typeof it !== 'object') return it;
      const copy = { ...it };
      for (const [field, value] of Object.entries(copy)) {
        if (typeof value !== 'string' || value.length < LARGE) continue;
        let key = findByItem(stored, it, field, value) || findByValue(index, value) || findByValue(stored, value);
        if (!key) {
          key = `large:${session}:${++sequence}`;
          fresh.push({ key, value });
        }
        remember(index, it, field, value, key);
        copy[field] = null;
        large.push([i, field, key]);
      }
      return copy;
    }) : doc?.items;
    return { record: { at, doc: { ...doc, items }, large }, fresh, index };
  }

  // The entries of `index` whose string the store holds.
  function heldIndex(index, keys) {
    const held = newIndex();
    for (const [id, entry] of index.byItem) if (keys.has(entry.key)) held.byItem.set(id, entry);
    for (const [length, list] of index.byLength) {
      const kept = list.filter((entry) => keys.has(entry.key));
      if (kept.length) held.byLength.set(length, kept);
    }
    return held;
  }

  // One transaction: the large strings fresh[from, to), a few per turn of the page's loop, then the
  // board's record, then every record it does not name is dropped.
  function writePiece(db, record, named, fresh, from, to) {
    return new Promise((resolve, reject) => {
      const tx = db.transaction(STORE, 'readwrite');
      const s = tx.objectStore(STORE);
      let next = from;
      const putSome = () => {
        let last = null;
        for (let chars = 0; next < to && chars < TURN_CHARS; next++) {
          last = s.put(fresh[next].value, fresh[next].key);
          chars += fresh[next].value.length;
        }
        if (next < to) {
          last.onsuccess = putSome;
          return;
        }
        s.put(record, KEY);
        s.getAllKeys().onsuccess = (e) => {
          for (const key of e.target.result) if (key !== KEY && !named.has(key)) s.delete(key);
        };
      };
      putSome();
      tx.oncomplete = resolve;
      tx.onerror = tx.onabort = () => reject(tx.error || new DOMException('The write was abandoned', 'AbortError'));
    });
  }

  // Writes the copy in pieces of at most PIECE_CHARS new characters (one piece when there are few).
  // Whatever moment the process ends at, the store holds one whole copy of an earlier state, or the
  // new one less some of its newest large strings.
  async function write(change) {
    const { record, fresh, index } = split(change.read(), change.at);
    const named = new Set(record.large.map(([, , key]) => key));
    const freshKeys = new Set(fresh.map((f) => f.key));
    const held = new Set([...named].filter((key) => !freshKeys.has(key)));
    const db = await openDb();
    let from = 0;
    do {
      let to = from;
      for (let chars = 0; to < fresh.length && (to === from || chars + fresh[to].value.length <= PIECE_CHARS); to++) {
        chars += fresh[to].value.length;
      }
      await writePiece(db, record, named, fresh, from, to);
      for (; from < to; from++) held.add(fresh[from].key);
      // Kept true after every commit: a later piece may fail, and the next write builds on this.
      stored = heldIndex(index, held);
    } while (from < fresh.length);
  }

  // Tells the user once when copies stop being written, and once when they are written again.
  function report(error) {
    if (!error === !failing) return;
    failing = !!error;
    if (typeof toast !== 'function' || typeof i18n === 'undefined') return;
    if (failing) toast(i18n.t('recoveryFailed', { reason: error.message || error.name || String(error) }), 'error');
    else toast(i18n.t('recoveryBack'));
  }

  // The document of a stored record with its large strings put back, and their index, or null.
  async function read() {
    const values = new Map();
    const record = await withStore('readonly', (s) => {
      const found = { record: null };
      s.get(KEY).onsuccess = (e) => {
        found.record = e.target.result;
        const large = found.record?.large;
        if (!Array.isArray(large)) return;  // written whole by an earlier version
        for (const ref of large) {
          const key = Array.isArray(ref) ? ref[2] : undefined;
          if (typeof key !== 'string' || values.has(key)) continue;
          values.set(key, undefined);
          s.get(key).onsuccess = (ev) => values.set(key, ev.target.result);
        }
      };
      return found;
    }).then((found) => found.record);
    if (!record || !Array.isArray(record.large) || !Array.isArray(record.doc?.items)) return { record, index: null };
    const index = newIndex();
    const items = record.doc.items.map((it) => (it && typeof it === 'object' ? { ...it } : it));
    for (const [i, field, key] of record.large.filter(Array.isArray)) {
      const value = values.get(key);
      // A missing string leaves its item without data: the board drops that item, keeps the rest.
      if (typeof value !== 'string' || !items[i] || typeof items[i] !== 'object') continue;
      items[i][field] = value;
      remember(index, null, field, value, key);  // the board gives its items new ids
    }
    return { record: { at: record.at, doc: { ...record.doc, items } }, index };
  }

  function flush() {
    clearTimeout(timer);
    timer = null;
    const change = pending;
    pending = null;
    if (!change) return queue;  // resolves once a write already under way is stored
    // Storage refused (a full disk, a quota): the board itself and the copy before are untouched, but
    // a crash would now lose work, which the user must know.
    return enqueue(() => write(change)).then(() => report(null), (e) => report(e || new Error('IndexedDB')));
  }

  return {
    // The board changed at `at` and is unsaved; `read()` gives its document when the copy is written.
    changed(read, at = Date.now()) {
      // Newer than the last settling even within its millisecond, or the copy would not be offered.
      pending = { at: Math.max(at, settledAt() + 1), read };
      clearTimeout(timer);
      timer = setTimeout(flush, DELAY_MS);
    },

    // Writes a pending copy now; resolves once it is stored.
    flush,

    // The work up to `at` is settled. `clean`: the board holds nothing newer, so the copy goes.
    settled(at, clean) {
      setSettled(at);
      if (!clean) return Promise.resolve();
      clearTimeout(timer);
      timer = null;
      pending = null;
      try { localStorage.removeItem(LEGACY_KEY); } catch { /* storage off */ }
      return enqueue(async () => {
        await withStore('readwrite', (s) => s.clear());
        stored = newIndex();
      }).catch(() => {});
    },

    // The copy to offer at start, or null: only one newer than the last settled state.
    take() {
      return enqueue(async () => {
        let found = { record: null, index: null };
        try { found = await read(); } catch { /* no storage */ }
        let { record } = found;
        try {
          const legacy = localStorage.getItem(LEGACY_KEY);
          localStorage.removeItem(LEGACY_KEY);
          if (!record && legacy) record = { at: Infinity, doc: JSON.parse(legacy) };
        } catch { /* unreadable: dropped */ }
        if (!record || !record.doc || !(record.at > settledAt())) return null;
        // The board it is loaded into holds these very strings: the next write need not store them
        // again. Done within the queue, so that no write drops their records meanwhile.
        for (const list of found.index?.byLength.values() || []) {
          for (const { value, key } of list) remember(stored, null, null, value, key);
        }
        return record;
      });
    },
  };
})();
