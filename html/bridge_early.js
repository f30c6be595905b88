// SPDX-License-Identifier: GPL-3.0-or-later
// The first half of the page kit, loaded as a classic script before any module: the shell may call
// the page as soon as its load finishes, before the page's modules have run (they run after the
// document is parsed). Until bridge.js takes over, each call is kept, and bridge.js replays them
// in order once the page's modules have subscribed. Nothing is unsaved before the page has run, so
// the quit query answers false meanwhile.
'use strict';

(() => {
  const kept = [];
  const names = ['__menuAction', '__setLang', 'saveJSON', 'toast', '__quitFlushU', '__quitDiscardU',
    '__floatDrop', '__fileDrop', '__pasteItems', '__restoreNative', '__boardOpened', '__openProgress', '__openFailed', '__paperFromNative',
    '__saveResult', '__pdfPageU', '__pdfLocked', '__pdfTruncated', '__pdfRendered', '__imageFetched', '__netReply', '__netChunk',
    '__vaultReply'];
  for (const name of names) window[name] = (...args) => { kept.push([name, args]); };
  window.__quitHasContentU = () => false;
  window.__bridgeEarly = kept;
})();
