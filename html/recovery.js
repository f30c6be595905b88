// A copy of the unsaved board, so that a forced quit, a crash or a cancelled save never loses it.
// It lives in IndexedDB (a board with photos is far larger than localStorage allows), is kept current
// while the board is unsaved, and is written a moment after the last change: quitting does not wait
// for an asynchronous write, so nothing is left to do at quit. Once a save is confirmed the copy
// goes; at the next start it is offered only if it holds work newer than the last settled state.
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

  let dbPromise = null;
  let timer = null;
  let pending = null;  // { at, read } of the change waiting for its write

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

  // Runs `use(store)` in one transaction; resolves with the request's result once it has committed.
  async function withStore(mode, use) {
    const db = await openDb();
    return new Promise((resolve, reject) => {
      const tx = db.transaction(STORE, mode);
      const request = use(tx.objectStore(STORE));
      tx.oncomplete = () => resolve(request.result);
      tx.onerror = tx.onabort = () => reject(tx.error);
    });
  }

  function settledAt() {
    try { return Number(localStorage.getItem(SETTLED_KEY)) || 0; } catch { return 0; }
  }

  function setSettled(at) {
    try { localStorage.setItem(SETTLED_KEY, String(Math.max(at, settledAt()))); } catch { /* storage off */ }
  }

  function flush() {
    clearTimeout(timer);
    timer = null;
    const change = pending;
    pending = null;
    if (!change) return Promise.resolve();
    return withStore('readwrite', (s) => s.put({ at: change.at, doc: change.read() }, KEY))
      .catch(() => { /* storage refused: the board itself is untouched */ });
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
      return withStore('readwrite', (s) => s.delete(KEY)).catch(() => {});
    },

    // The copy to offer at start, or null: only one newer than the last settled state.
    async take() {
      let record = null;
      try { record = await withStore('readonly', (s) => s.get(KEY)); } catch { /* no storage */ }
      try {
        const legacy = localStorage.getItem(LEGACY_KEY);
        localStorage.removeItem(LEGACY_KEY);
        if (!record && legacy) record = { at: Infinity, doc: JSON.parse(legacy) };
      } catch { /* unreadable: dropped */ }
      if (!record || !record.doc || !(record.at > settledAt())) return null;
      return record;
    },
  };
})();
