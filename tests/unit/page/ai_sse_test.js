// SPDX-License-Identifier: GPL-3.0-or-later
// The AI panel's reading of streamed answers, as a table of event texts cut at awkward places.
'use strict';
const assert = require('node:assert/strict');
const path = require('node:path');
const { SseParser, aiEventDelta, aiEndpoint, keyOrigins } = require(path.join(__dirname, '../../../html/ai.js'));

// Feeds the pieces, then ends the body; returns the answer text and whether the stream said done.
function read(format, pieces) {
  const parser = new SseParser();
  let text = '';
  let done = false;
  let error = null;
  const apply = (events) => {
    for (const ev of events) {
      const d = aiEventDelta(format, ev);
      if (d.text) text += d.text;
      if (d.done) done = true;
      if (d.error) error = d.error;
    }
  };
  for (const p of pieces) apply(parser.feed(p));
  apply(parser.end());
  return { text, done, error };
}

const oa = (content) => `data: ${JSON.stringify({ choices: [{ delta: { content } }] })}\n\n`;
const an = (text) => `event: content_block_delta\ndata: ${JSON.stringify({ type: 'content_block_delta', index: 0, delta: { type: 'text_delta', text } })}\n\n`;

const cases = [
  // OpenAI-compatible
  ['openai', 'whole events', [oa('Hel') + oa('lo') + 'data: [DONE]\n\n'], { text: 'Hello', done: true, error: null }],
  ['openai', 'cut inside a line and inside the JSON', [oa('a').slice(0, 9), oa('a').slice(9) + oa('b').slice(0, 20), oa('b').slice(20)], { text: 'ab', done: false, error: null }],
  ['openai', 'CRLF line ends cut between CR and LF', [oa('x').replace(/\n/g, '\r\n').slice(0, -1), '\n' + 'data: [DONE]\r\n\r\n'], { text: 'x', done: true, error: null }],
  ['openai', 'comments, role-only deltas, other fields', [': keep-alive\n\nid: 1\nretry: 5\n' + oa('') + `data: ${JSON.stringify({ choices: [{ delta: { role: 'assistant' } }] })}\n\n` + oa('ok')], { text: 'ok', done: false, error: null }],
  ['openai', 'last event without its blank line', [oa('end').trimEnd()], { text: 'end', done: false, error: null }],
  ['openai', 'non-ASCII and a newline inside the text', [oa('你好\n世界 😀')], { text: '你好\n世界 😀', done: false, error: null }],
  ['openai', 'an error event', ['data: {"error":{"message":"model not found"}}\n\n'], { text: '', done: false, error: 'model not found' }],
  ['openai', 'no space after the colon, junk data', ['data:' + JSON.stringify({ choices: [{ delta: { content: 'n' } }] }) + '\n\ndata: not json\n\n'], { text: 'n', done: false, error: null }],
  // Anthropic-style
  ['anthropic', 'a full message', ['event: message_start\ndata: {"type":"message_start","message":{}}\n\n' +
    'event: content_block_start\ndata: {"type":"content_block_start","index":0,"content_block":{"type":"text","text":""}}\n\n' +
    'event: ping\ndata: {"type": "ping"}\n\n' + an('Hi') + an(' there') +
    'event: content_block_stop\ndata: {"type":"content_block_stop","index":0}\n\n' +
    'event: message_delta\ndata: {"type":"message_delta","delta":{"stop_reason":"end_turn"}}\n\n' +
    'event: message_stop\ndata: {"type":"message_stop"}\n\n'], { text: 'Hi there', done: true, error: null }],
  ['anthropic', 'cut between event and data lines', [an('a') + 'event: content_block_delta\n', 'data: {"type":"content_block_delta","delta":{"type":"text_delta","text":"b"}}\n', '\n'], { text: 'ab', done: false, error: null }],
  ['anthropic', 'an error event', ['event: error\ndata: {"type":"error","error":{"type":"overloaded_error","message":"Overloaded"}}\n\n'], { text: '', done: false, error: 'Overloaded' }],
  ['anthropic', 'OpenAI events are not mistaken for text', [oa('no')], { text: '', done: false, error: null }],
];

let failed = 0;
for (const [format, name, pieces, want] of cases) {
  try {
    assert.deepEqual(read(format, pieces), want);
  } catch (e) {
    failed++;
    console.error(`FAIL ${format}: ${name}\n${e.message}`);
  }
}
// Every cut of one stream gives the same answer.
const whole = oa('α') + oa('β') + 'data: [DONE]\n\n';
for (let i = 0; i <= whole.length; i++) {
  const got = read('openai', [whole.slice(0, i), whole.slice(i)]);
  if (got.text !== 'αβ' || !got.done) { failed++; console.error(`FAIL cut at ${i}: ${JSON.stringify(got)}`); }
}
// The endpoint goes to the shell normalised, or not at all.
for (const [typed, want] of [
  ['  http://127.0.0.1:11434/v1/chat/completions ', 'http://127.0.0.1:11434/v1/chat/completions'],
  ['https://api.example.com/v1/a b', 'https://api.example.com/v1/a%20b'],
  ['https://例子.测试/v1', 'https://xn--fsqu00a.xn--0zwm56d/v1'],
  ['HTTP://LOCALHOST:8080', 'http://localhost:8080/'],
  ['127.0.0.1:11434/v1', null], ['ftp://host/x', null], ['http//missing-colon', null], ['', null],
]) {
  if (aiEndpoint(typed) !== want) { failed++; console.error(`FAIL endpoint ${JSON.stringify(typed)} → ${aiEndpoint(typed)}`); }
}
// A stored key is bound to its provider's service and to the endpoint being set up.
for (const [provider, endpoint, want] of [
  ['openai', 'http://localhost:11434/v1/chat/completions', ['https://api.openai.com', 'http://localhost:11434']],
  ['openai', 'https://api.openai.com/v1', ['https://api.openai.com']],
  ['anthropic', '', ['https://api.anthropic.com']],
  ['custom', 'HTTPS://Gen.Example.com:8443/x', ['https://gen.example.com:8443']],
  ['custom', 'not a url', []],
  ['unknown', '', ['https://api.openai.com']],
]) {
  const got = JSON.stringify(keyOrigins(provider, endpoint));
  if (got !== JSON.stringify(want)) { failed++; console.error(`FAIL origins ${provider} ${endpoint} → ${got}`); }
}
if (failed) {
  console.error(`${failed} failed`);
  process.exit(1);
}
console.log(`ok: ${cases.length} event tables, every cut, endpoints, key origins`);
