// SPDX-License-Identifier: GPL-3.0-or-later
// The README's table of the calls the shell makes on the page lists every one the shell's C++
// sources can make: a page author reads the table, not the code.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, readdirSync, statSync } from 'node:fs';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const SHELL_DIRS = ['app', 'bridge', 'common', 'drop', 'files', 'gobj', 'menu', 'net', 'vault', 'webpolicy'];

function* sources(dir) {
  for (const name of readdirSync(dir)) {
    const path = join(dir, name);
    if (statSync(path).isDirectory()) yield* sources(path);
    else if (/\.(cpp|h)$/.test(name)) yield path;
  }
}

// Page functions named in the shell's code: `window.__name` in a script text, or "__name" given to
// the bridge; saveJSON() and toast() in the fixed scripts that call them.
function shellCalls() {
  const found = new Map();
  for (const dir of SHELL_DIRS) {
    for (const path of sources(join(root, dir))) {
      const text = readFileSync(path, 'utf8');
      for (const m of text.matchAll(/(?:window\.|")(__[A-Za-z]\w*)/g)) found.set(m[1], path);
      for (const m of text.matchAll(/"[^"\n]*\b(saveJSON|toast)\(/g)) found.set(m[1], path);
    }
  }
  return found;
}

// The names in the first column of the README's table of calls.
function tableCalls() {
  const readme = readFileSync(join(root, 'README.md'), 'utf8');
  const start = readme.indexOf('| Call | Guarded | When |');
  assert.ok(start >= 0, 'the README has its table of calls');
  const rows = readme.slice(start).split('\n\n')[0].split('\n');
  const names = new Set();
  for (const row of rows) {
    const first = row.split('|')[1] ?? '';
    for (const m of first.matchAll(/`(\w+)\(/g)) names.add(m[1]);
  }
  return names;
}

test('every page call in the shell is in the README table', () => {
  const listed = tableCalls();
  const calls = shellCalls();
  assert.ok(calls.size > 15, `the scan found the shell's calls (${calls.size})`);
  const missing = [...calls].filter(([name]) => !listed.has(name)).map(([name, path]) => `${name} (${path})`);
  assert.deepEqual(missing, [], 'calls the README table does not list');
  for (const name of ['__pdfTruncated', '__openFailed', '__netChunk', 'saveJSON', 'toast']) assert.ok(listed.has(name), name);
});

// The limit of a whole reply, as the shell's code sets it, is the figure the README's table states.
test('the README states the shell\'s limit of a whole netRequest reply', () => {
  const header = readFileSync(join(root, 'net', 'net_access.h'), 'utf8');
  const m = header.match(/kMaxReplyBytes = (\d+)u \* 1024 \* 1024;/);
  assert.ok(m, 'net_access.h sets kMaxReplyBytes in MiB');
  const bytes = Number(m[1]) * 1024 * 1024;
  const text = header.match(/kTooLargeText =\s*"((?:[^"\\]|\\.)*)"/);
  assert.ok(text, 'net_access.h names the error');
  const readme = readFileSync(join(root, 'README.md'), 'utf8');
  const row = readme.split('\n').find((line) => line.startsWith('| A `netRequest` reply body (not streamed) |'));
  assert.ok(row, 'the README has the row');
  assert.ok(row.includes(`${bytes.toLocaleString('en-US')} bytes (${m[1]} MiB)`), row);
  assert.ok(row.includes(text[1]), `the row quotes the error: ${text[1]}`);
});
