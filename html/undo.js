// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo of board edits. Each step is a command that knows how to go back and forth (an item
// added or removed, a new place or size, a new text); nothing copies the board, so a step costs a
// few numbers or one reference to an item that is kept anyway, however large its pictures are.
'use strict';

const UNDO_LIMIT = 200;

const undoStack = [];
const redoStack = [];
let replaying = false;
let openGroup = null;   // commands collected by undoGroup, recorded as one step
let groupDepth = 0;
// What each item looked like at its last recorded step, to tell what a move or edit changed.
const committed = new WeakMap();
let stepSerial = 0;      // numbers the recorded steps
let baseMark = 'base0';  // names the board as it was before the oldest step still recorded

function remember(item) {
  committed.set(item, { x: item.x, y: item.y, w: item.w, h: item.h, text: item.text });
}

function pushCommand(cmd) {
  if (replaying) return;
  if (openGroup) {
    openGroup.push(cmd);
    return;
  }
  // The pages of one template import arrive one by one; they undo together.
  const top = undoStack[undoStack.length - 1];
  if (cmd.kind === 'add' && cmd.paper && top && top.kind === 'group' && top.paper && top.open) {
    top.list.push(cmd);
  } else if (cmd.kind === 'add' && cmd.paper) {
    undoStack.push({ kind: 'group', paper: true, open: true, list: [cmd], serial: ++stepSerial });
  } else {
    if (top) top.open = false;
    cmd.serial = ++stepSerial;
    undoStack.push(cmd);
  }
  redoStack.length = 0;
  if (undoStack.length > UNDO_LIMIT) {
    undoStack.splice(0, undoStack.length - UNDO_LIMIT);
    baseMark = `base${++stepSerial}`;  // the board before the dropped steps cannot come back
  }
}

// Names the board's state as the undo history knows it: undo and redo that bring the board back to
// a state bring back its name, and every other change gives a new one. Null while a step is still
// being recorded.
function undoMark() {
  if (openGroup) return null;
  const top = undoStack[undoStack.length - 1];
  if (!top) return baseMark;
  // The pages of a template import join their step as they arrive.
  return top.kind === 'group' ? `${top.serial}:${top.list.length}` : String(top.serial);
}

function closeGroup() {
  if (--groupDepth > 0) return;
  const list = openGroup;
  openGroup = null;
  if (list.length === 1) pushCommand(list[0]);
  else if (list.length) pushCommand({ kind: 'group', list });
}

// Runs `fn` (which may be async) and records all it changes as one step.
async function undoGroup(fn) {
  if (groupDepth++ === 0) openGroup = [];
  try {
    return await fn();
  } finally {
    closeGroup();
  }
}

// The same for a change made at once: the step is recorded before this returns.
function undoStep(fn) {
  if (groupDepth++ === 0) openGroup = [];
  try {
    return fn();
  } finally {
    closeGroup();
  }
}

function putBack(item, index) {
  const items = boardView.items;
  items.splice(Math.min(Math.max(0, index), items.length), 0, item);
  boardView.renderItem(item);
  remember(item);
  boardView.select(item.id);
  boardView.onChange('add');
}

function takeOut(item) {
  boardView.remove(item.id);
}

function setGeometry(item, g) {
  Object.assign(item, { x: g.x, y: g.y, w: g.w, h: g.h });
  const el = boardView.elementOf(item.id);
  if (el) boardView.placeElement(el, item);
  boardView.updateWorldSize();
  remember(item);
  boardView.onChange('move');
}

function setText(item, text) {
  item.text = text;
  const el = boardView.elementOf(item.id)?.querySelector('.text');
  if (el) el.textContent = text;
  remember(item);
  boardView.onChange('edit');
}

function apply(cmd, backwards) {
  switch (cmd.kind) {
    case 'group': {
      const list = backwards ? [...cmd.list].reverse() : cmd.list;
      for (const c of list) apply(c, backwards);
      break;
    }
    case 'add': backwards ? takeOut(cmd.item) : putBack(cmd.item, cmd.index); break;
    case 'remove': backwards ? putBack(cmd.item, cmd.index) : takeOut(cmd.item); break;
    case 'geometry': setGeometry(cmd.item, backwards ? cmd.before : cmd.after); break;
    case 'text': setText(cmd.item, backwards ? cmd.before : cmd.after); break;
  }
}

// After a step of several items, all of them that are on the board are the selection.
function selectStep(cmd) {
  if (cmd.kind !== 'group') return;
  const ids = [...new Set(cmd.list.map((c) => c.item?.id))].filter((id) => boardView.find(id));
  if (ids.length > 1) boardView.setSelection(ids);
}

function undo() {
  const cmd = undoStack.pop();
  if (!cmd) return false;
  cmd.open = false;
  replaying = true;
  try { apply(cmd, true); } finally { replaying = false; }
  selectStep(cmd);
  redoStack.push(cmd);
  return true;
}

function redo() {
  const cmd = redoStack.pop();
  if (!cmd) return false;
  replaying = true;
  try { apply(cmd, false); } finally { replaying = false; }
  selectStep(cmd);
  undoStack.push(cmd);
  return true;
}

function clearUndo() {
  undoStack.length = 0;
  redoStack.length = 0;
  baseMark = `base${++stepSerial}`;
}

// Records the board's edits by wrapping the calls that make them.
function bindUndo() {
  const add = boardView.add.bind(boardView);
  boardView.add = (item, reason = 'add') => {
    const it = add(item, reason);
    remember(it);
    pushCommand({ kind: 'add', item: it, index: boardView.items.indexOf(it), paper: reason === 'paper' });
    return it;
  };
  const remove = boardView.remove.bind(boardView);
  boardView.remove = (id) => {
    const item = boardView.find(id);
    const index = boardView.items.indexOf(item);
    remove(id);
    if (item) pushCommand({ kind: 'remove', item, index });
  };
  const load = boardView.load.bind(boardView);
  boardView.load = (doc) => {
    load(doc);
    clearUndo();
    for (const it of boardView.items) remember(it);
  };
  const changed = boardView.onChange;
  boardView.onChange = (reason) => {
    // A note's edit ends when it loses focus, often after the click elsewhere has cleared the
    // selection: the changed item is found by what changed, not by what is selected.
    if (!replaying && ['move', 'resize', 'edit'].includes(reason)) {
      // Several items moved together (a selection dragged or nudged) undo together.
      undoStep(() => { for (const item of boardView.items) {
        const before = committed.get(item);
        if (!before) continue;
        if (before.text !== item.text) {
          pushCommand({ kind: 'text', item, before: before.text, after: item.text });
        } else if (['x', 'y', 'w', 'h'].some((k) => before[k] !== item[k])) {
          pushCommand({ kind: 'geometry', item, before, after: { x: item.x, y: item.y, w: item.w, h: item.h } });
        } else {
          continue;
        }
        remember(item);
      } });
    }
    changed(reason);
  };

  // A text field being edited keeps its own undo; everywhere else the keys undo board edits.
  document.addEventListener('keydown', (e) => {
    if (!(e.ctrlKey || e.metaKey) || e.altKey) return;
    if (e.target instanceof Element && e.target.closest('input, textarea, select, [contenteditable="true"]')) return;
    const key = e.key.toLowerCase();
    if (key === 'z' && !e.shiftKey) { e.preventDefault(); undo(); }
    else if ((key === 'z' && e.shiftKey) || (key === 'y' && !e.shiftKey)) { e.preventDefault(); redo(); }
  });
}

bindUndo();
