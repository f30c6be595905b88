// SPDX-License-Identifier: GPL-3.0-or-later
// The AI panel: sends the prompt as a streamed request and shows the answer as it arrives, in the
// Server-Sent Events formats AI services use; a provider preset picks the request shape and how
// the shell writes the stored key. The reading of answers imports nothing, so it runs under Node too.
// @ts-check

const AI_TIMEOUT_MS = 130000;  // the shell gives up on a request after 120 s without a byte

// `origins`: where a key stored for the provider may be sent without the shell asking first.
export const AI_PROVIDERS = {
  openai: { scheme: 'bearer', format: 'openai', origins: ['https://api.openai.com'] },  // and compatible servers (Ollama, vLLM, …)
  anthropic: { scheme: 'anthropic', format: 'anthropic', origins: ['https://api.anthropic.com'] },
  custom: { scheme: 'header', format: 'openai', origins: [] },  // the key in a header the user names
};

// The origins a key stored now is bound to: the provider's own, and the endpoint's in the panel
// (the service the user is setting up); the shell asks before the key goes anywhere else.
export function keyOrigins(provider, endpointText) {
  const origins = [...(AI_PROVIDERS[provider] ?? AI_PROVIDERS.openai).origins];
  const href = aiEndpoint(endpointText);
  if (href) {
    const origin = new URL(href).origin;
    if (!origins.includes(origin)) origins.push(origin);
  }
  return origins;
}

// Splits a text stream into Server-Sent Events ({ event, data }), whatever the pieces' boundaries.
export class SseParser {
  constructor() {
    this.buffer = '';
    this.event = '';
    this.data = [];
  }

  // The events completed by this text.
  feed(text) {
    this.buffer += text;
    const out = [];
    let start = 0;
    for (;;) {
      const m = /\r\n|\r|\n/g;
      m.lastIndex = start;
      const hit = m.exec(this.buffer);
      // A CR at the very end may be the first half of a CRLF: wait for the next piece.
      if (!hit || (hit[0] === '\r' && hit.index === this.buffer.length - 1)) break;
      this.line(this.buffer.slice(start, hit.index), out);
      start = hit.index + hit[0].length;
    }
    this.buffer = this.buffer.slice(start);
    return out;
  }

  // At the end of the body: a last event without its blank line still counts.
  end() {
    const out = [];
    if (this.buffer) this.line(this.buffer.replace(/\r$/, ''), out);
    this.buffer = '';
    this.line('', out);
    return out;
  }

  line(line, out) {
    if (line === '') {
      if (this.data.length) out.push({ event: this.event || 'message', data: this.data.join('\n') });
      this.event = '';
      this.data = [];
      return;
    }
    if (line.startsWith(':')) return;  // a comment, often a keep-alive
    const colon = line.indexOf(':');
    const field = colon < 0 ? line : line.slice(0, colon);
    let value = colon < 0 ? '' : line.slice(colon + 1);
    if (value.startsWith(' ')) value = value.slice(1);
    if (field === 'data') this.data.push(value);
    else if (field === 'event') this.event = value;
  }
}

// What one event means for the answer: { text } to append, { done }, { error }, or {} to skip.
export function aiEventDelta(format, ev) {
  if (format === 'openai' && ev.data.trim() === '[DONE]') return { done: true };
  let j;
  try { j = JSON.parse(ev.data); } catch { return {}; }
  if (!j || typeof j !== 'object') return {};
  if (j.error) {
    const m = typeof j.error === 'string' ? j.error : j.error.message;
    return { error: typeof m === 'string' ? m : JSON.stringify(j.error) };
  }
  if (format === 'anthropic') {
    const type = j.type || ev.event;
    if (type === 'content_block_delta' && typeof j.delta?.text === 'string') return { text: j.delta.text };
    if (type === 'message_stop') return { done: true };
    return {};
  }
  const choice = j.choices?.[0];
  const text = choice?.delta?.content ?? choice?.text ?? j.message?.content ?? j.response;
  return typeof text === 'string' && text ? { text } : {};
}

// The request for a prompt: the body each format expects, asking for a stream.
export function aiRequestBody(format, model, prompt) {
  const messages = [{ role: 'user', content: prompt }];
  if (format === 'anthropic') return JSON.stringify({ model, max_tokens: 4096, messages, stream: true });
  return JSON.stringify({ model, messages, stream: true });
}

// The endpoint as the shell must receive it: parsed and written out again, so spaces and non-ASCII
// characters are encoded; null when it is no http or https URL.
export function aiEndpoint(text) {
  try {
    const u = new URL(String(text).trim());
    return ['http:', 'https:'].includes(u.protocol) ? u.href : null;
  } catch { return null; }
}

// The answer of an OpenAI-style chat completion, or of the other common shapes; else the raw text.
export function answerOf(text) {
  try {
    const j = JSON.parse(text);
    const answer = j?.choices?.[0]?.message?.content ?? j?.message?.content ?? j?.content?.[0]?.text ?? j?.response;
    if (typeof answer === 'string') return answer;
  } catch { /* not JSON: show it as it came */ }
  return text;
}

export function errorOf(text) {
  try {
    const j = JSON.parse(text);
    const m = j?.error?.message ?? j?.error ?? j?.message;
    if (typeof m === 'string') return m;
  } catch { /* plain text body */ }
  return text.slice(0, 300);
}

// A base address (the service's root, or one ending in a version such as /v1) completed to the
// chat path of the provider; an address with any other path is taken as the full one.
export function completeAiEndpoint(href, provider) {
  if (!href) return href;
  const u = new URL(href);
  const path = u.pathname.replace(/\/+$/, '');
  const chat = (AI_PROVIDERS[provider] ?? AI_PROVIDERS.openai).format === 'anthropic' ? 'messages' : 'chat/completions';
  if (path === '') u.pathname = `/v1/${chat}`;
  else if (/\/v\d+(beta\d*|alpha\d*)?$/.test(path)) u.pathname = `${path}/${chat}`;
  else return href;
  return u.href;
}

// ---- the panel ------------------------------------------------------------------------------------

/**
 * The panel's controls. `stream` is the page kit's, `show(text, isError)` puts a text (or a function
 * of the language giving it) in the reply box, `prefs` keeps the settings.
 * @param {{ stream: typeof import('./bridge.js').stream, prefs: { get(key: string, fallback?: string): string, set(key: string, value: string): void },
 *           show: (text: string | (() => string), isError?: boolean) => void }} deps
 */
export function createAiPanel({ stream, prefs, show }) {
  /** @type {(id: string) => any} */
  const $ = (id) => document.getElementById(id);
  let current = null;  // { controller, format, parser, answer, raw, status, error, stopped }
  let lastAnswer = '';
  let frame = 0;  // the animation frame that will show the answer so far

  // A long answer arrives in hundreds of pieces; laying the whole text out again for each of them
  // made a few megabytes take most of a minute, so the answer is shown at most once a frame.
  function showSoon() {
    if (frame) return;
    frame = requestAnimationFrame(() => {
      frame = 0;
      if (current?.answer) show(current.answer);
    });
  }

  function buttons(busy) {
    $('ai-send').disabled = busy;
    $('ai-stop').disabled = !busy;
    $('ai-add').disabled = busy || !lastAnswer;
  }

  function showProvider() {
    // Not `hidden`: the panel's label style would show it anyway.
    $('ai-header-row').style.display = $('ai-provider').value === 'custom' ? '' : 'none';
  }

  // Sends the prompt; returns the request's id, or undefined when there is nothing to send.
  function send() {
    const href = completeAiEndpoint(aiEndpoint($('ai-url').value), $('ai-provider').value);
    if (!href) return show(() => i18n.t('badEndpoint'), true);
    const provider = AI_PROVIDERS[$('ai-provider').value] ?? AI_PROVIDERS.openai;
    const keyId = $('ai-key-id').value.trim();
    const headerName = $('ai-header-name').value.trim();
    // Without a header name the shell would send the request with no key at all, and the service's
    // refusal would not say why.
    if (keyId && provider.scheme === 'header' && !headerName) {
      $('ai-header-name').focus();
      return show(() => i18n.t('aiNeedHeader'), true);
    }
    const model = $('ai-model').value.trim();
    /** @type {import('./bridge.js').NetRequestFields} */
    const fields = {
      url: href, method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: aiRequestBody(provider.format, model, $('ai-prompt').value),
    };
    // The key itself never reaches the page: the shell adds it from the vault by its name.
    if (keyId) {
      fields.auth = { keyId, scheme: provider.scheme };
      if (provider.scheme === 'header') fields.auth.headerName = headerName;
    }
    current?.controller.abort();  // a newer question replaces one still being answered
    const state = { controller: new AbortController(), format: provider.format, parser: new SseParser(),
      url: href, answer: '', raw: '', status: 0, error: '', stopped: false };
    current = state;
    lastAnswer = '';
    show(() => i18n.t('sending'));
    buttons(true);
    // The shell gives up after 120 s of silence; so does the page, counted from the last piece.
    const pieces = stream(fields, { signal: state.controller.signal, timeout: AI_TIMEOUT_MS });
    read(state, pieces);
    prefs.set('ai.url', href);
    prefs.set('ai.model', model);
    prefs.set('ai.keyId', keyId);
    prefs.set('ai.provider', $('ai-provider').value);
    prefs.set('ai.headerName', headerName);
    return pieces.reqId;
  }

  function apply(state, events) {
    for (const ev of events) {
      const d = aiEventDelta(state.format, ev);
      if (d.error) state.error = d.error;
      if (d.text) state.answer += d.text;
    }
  }

  /** @param {import('./bridge.js').NetStream} pieces */
  async function read(state, pieces) {
    let reply = null;
    try {
      for await (const piece of pieces) {
        if (typeof piece.status === 'number') state.status = piece.status;
        state.raw += piece.text;
        if (state.status < 200 || state.status > 299) continue;  // an error body: shown at the end
        apply(state, state.parser.feed(piece.text));
        if (state.answer) showSoon();
      }
      reply = await pieces.reply;
    } catch (e) {
      if (state !== current) return;  // replaced by a newer question
      if (state.stopped) reply = { reqId: pieces.reqId, ok: false, error: 'cancelled' };
    }
    if (state === current) finish(state, reply);
  }

  // reply: the final __netReply, or null when the page stopped waiting.
  function finish(state, reply) {
    current = null;
    cancelAnimationFrame(frame);
    frame = 0;
    buttons(false);
    if (!reply) return show(() => i18n.t('noReply'), true);
    if (typeof reply.error === 'string') {
      lastAnswer = state.answer;
      buttons(false);  // the partial answer may go to the board
      if (state.stopped) return show(() => (state.answer ? `${state.answer}\n\n${i18n.t('aiStopped')}` : i18n.t('aiStopped')));
      return show(() => (state.answer ? `${state.answer}\n\n${i18n.native(reply.error)}` : i18n.native(reply.error)), true);
    }
    // A shell that does not stream sends the whole body here instead of in pieces.
    if (typeof reply.text === 'string' && reply.text) {
      state.raw += reply.text;
      if (reply.ok) apply(state, state.parser.feed(reply.text));
    }
    if (!reply.ok && (reply.status || state.status) === 404) return show(() => i18n.t('endpointNotFound', { url: state.url }), true);
    if (!reply.ok) return show(() => `${i18n.t('httpError', { status: reply.status })}: ${errorOf(state.raw)}`, true);
    apply(state, state.parser.end());
    // A server that ignored "stream" answers with one JSON body.
    lastAnswer = state.answer || answerOf(state.raw);
    if (state.error && !state.answer) return show(state.error, true);
    show(lastAnswer);
    buttons(false);  // now that there is an answer to add
  }

  function stop() {
    if (!current) return;
    current.stopped = true;
    current.controller.abort();
  }

  $('ai-provider').value = prefs.get('ai.provider', 'openai');
  if (!AI_PROVIDERS[$('ai-provider').value]) $('ai-provider').value = 'openai';
  $('ai-header-name').value = prefs.get('ai.headerName', '');
  showProvider();
  $('ai-provider').addEventListener('change', showProvider);
  $('ai-stop').addEventListener('click', stop);
  return { send, stop, answer: () => lastAnswer };
}
