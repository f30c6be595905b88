// The AI panel: sends the prompt as a streamed request and shows the answer as it arrives, in the
// Server-Sent Events formats AI services use; a provider preset picks the request shape and how
// the shell writes the stored key. Loaded after app.js, whose helpers it uses.
'use strict';

const AI_PROVIDERS = {
  openai: { scheme: 'bearer', format: 'openai' },        // OpenAI-compatible servers (Ollama, vLLM, …)
  anthropic: { scheme: 'anthropic', format: 'anthropic' },
  custom: { scheme: 'header', format: 'openai' },        // the key in a header the user names
};

// Splits a text stream into Server-Sent Events ({ event, data }), whatever the pieces' boundaries.
class SseParser {
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
function aiEventDelta(format, ev) {
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
function aiRequestBody(format, model, prompt) {
  const messages = [{ role: 'user', content: prompt }];
  if (format === 'anthropic') return JSON.stringify({ model, max_tokens: 4096, messages, stream: true });
  return JSON.stringify({ model, messages, stream: true });
}

// The endpoint as the shell must receive it: parsed and written out again, so spaces and non-ASCII
// characters are encoded; null when it is no http or https URL.
function aiEndpoint(text) {
  try {
    const u = new URL(String(text).trim());
    return ['http:', 'https:'].includes(u.protocol) ? u.href : null;
  } catch { return null; }
}

// A base address (the service's root, or one ending in a version such as /v1) completed to the
// chat path of the provider; an address with any other path is taken as the full one.
function completeAiEndpoint(href, provider) {
  if (!href) return href;
  const u = new URL(href);
  const path = u.pathname.replace(/\/+$/, '');
  const chat = (AI_PROVIDERS[provider] ?? AI_PROVIDERS.openai).format === 'anthropic' ? 'messages' : 'chat/completions';
  if (path === '') u.pathname = `/v1/${chat}`;
  else if (/\/v\d+(beta\d*|alpha\d*)?$/.test(path)) u.pathname = `${path}/${chat}`;
  else return href;
  return u.href;
}

if (typeof module !== 'undefined') {
  module.exports = { SseParser, aiEventDelta, aiRequestBody, aiEndpoint, completeAiEndpoint, AI_PROVIDERS };
}

// ---- the panel ------------------------------------------------------------------------------------

const aiPanel = (() => {
  if (typeof document === 'undefined') return null;
  let current = null;  // { reqId, format, parser, answer, raw, status, stopped }
  let frame = 0;  // the animation frame that will show the answer so far

  // A long answer arrives in hundreds of pieces; laying the whole text out again for each of them
  // made a few megabytes take most of a minute, so the answer is shown at most once a frame.
  function showSoon() {
    if (frame) return;
    frame = requestAnimationFrame(() => {
      frame = 0;
      if (current?.answer) showAiReply(current.answer);
    });
  }

  function buttons(busy) {
    $('ai-send').disabled = busy;
    $('ai-stop').disabled = !busy;
    $('ai-add').disabled = busy || !lastAiAnswer;
  }

  function showProvider() {
    // Not `hidden`: the panel's label style would show it anyway.
    $('ai-header-row').style.display = $('ai-provider').value === 'custom' ? '' : 'none';
  }

  function send() {
    const href = completeAiEndpoint(aiEndpoint($('ai-url').value), $('ai-provider').value);
    if (!href) return showAiReply(() => i18n.t('badEndpoint'), true);
    const provider = AI_PROVIDERS[$('ai-provider').value] ?? AI_PROVIDERS.openai;
    const keyId = $('ai-key-id').value.trim();
    const headerName = $('ai-header-name').value.trim();
    // Without a header name the shell would send the request with no key at all, and the service's
    // refusal would not say why.
    if (keyId && provider.scheme === 'header' && !headerName) {
      $('ai-header-name').focus();
      return showAiReply(() => i18n.t('aiNeedHeader'), true);
    }
    const model = $('ai-model').value.trim();
    const reqId = newReqId('ai');
    const message = {
      action: 'netRequest', reqId, url: href, method: 'POST', stream: true,
      headers: { 'Content-Type': 'application/json' },
      body: aiRequestBody(provider.format, model, $('ai-prompt').value),
    };
    // The key itself never reaches the page: the shell adds it from the vault by its name.
    if (keyId) {
      message.auth = { keyId, scheme: provider.scheme };
      if (provider.scheme === 'header') message.auth.headerName = headerName;
    }
    current = { reqId, url: href, format: provider.format, parser: new SseParser(), answer: '', raw: '', status: 0, stopped: false };
    track(reqId, { kind: 'ai', stream: true }, AI_TIMEOUT_MS, () => finish(null));
    lastAiAnswer = '';
    showAiReply(() => i18n.t('sending'));
    buttons(true);
    post(message);
    prefs.set('ai.url', href);
    prefs.set('ai.model', model);
    prefs.set('ai.keyId', keyId);
    prefs.set('ai.provider', $('ai-provider').value);
    prefs.set('ai.headerName', headerName);
    return reqId;
  }

  function apply(events) {
    for (const ev of events) {
      const d = aiEventDelta(current.format, ev);
      if (d.error) current.error = d.error;
      if (d.text) current.answer += d.text;
    }
  }

  function chunk(c) {
    if (!current || !c || c.reqId !== current.reqId || typeof c.text !== 'string') return;
    const entry = pending.get(c.reqId);
    if (!entry) return;
    // The shell gives up after 120 s of silence; so does the page, counted from the last piece.
    clearTimeout(entry.timer);
    entry.timer = setTimeout(() => { if (pending.delete(c.reqId)) finish(null); }, AI_TIMEOUT_MS);
    if (typeof c.status === 'number') current.status = c.status;
    current.raw += c.text;
    if (current.status < 200 || current.status > 299) return;  // an error body: shown at the end
    apply(current.parser.feed(c.text));
    if (current.answer) showSoon();
  }

  // reply: the final __netReply, or null when the page stopped waiting.
  function finish(reply) {
    const state = current;
    current = null;
    if (!state) return;
    cancelAnimationFrame(frame);
    frame = 0;
    buttons(false);
    if (!reply) return showAiReply(() => i18n.t('noReply'), true);
    if (typeof reply.error === 'string') {
      lastAiAnswer = state.answer;
      buttons(false);  // the partial answer may go to the board
      if (state.stopped) return showAiReply(() => (state.answer ? `${state.answer}\n\n${i18n.t('aiStopped')}` : i18n.t('aiStopped')));
      return showAiReply(() => (state.answer ? `${state.answer}\n\n${i18n.native(reply.error)}` : i18n.native(reply.error)), true);
    }
    // A shell that does not stream sends the whole body here instead of in chunks.
    if (typeof reply.text === 'string' && reply.text) {
      state.raw += reply.text;
      if (reply.ok) apply(state.parser.feed(reply.text));
    }
    if (!reply.ok && (reply.status || state.status) === 404) return showAiReply(() => i18n.t('endpointNotFound', { url: state.url }), true);
    if (!reply.ok) return showAiReply(() => `${i18n.t('httpError', { status: reply.status })}: ${errorOf(state.raw)}`, true);
    apply(state.parser.end());
    // A server that ignored "stream" answers with one JSON body.
    lastAiAnswer = state.answer || answerOf(state.raw);
    if (state.error && !state.answer) return showAiReply(state.error, true);
    showAiReply(lastAiAnswer);
    buttons(false);  // now that there is an answer to add
  }

  function stop() {
    if (!current) return;
    current.stopped = true;
    post({ action: 'netCancel', reqId: current.reqId });
  }

  $('ai-provider').value = prefs.get('ai.provider', 'openai');
  if (!AI_PROVIDERS[$('ai-provider').value]) $('ai-provider').value = 'openai';
  $('ai-header-name').value = prefs.get('ai.headerName', '');
  showProvider();
  $('ai-provider').addEventListener('change', showProvider);
  $('ai-stop').addEventListener('click', stop);
  window.__netChunk = chunk;
  return { send, finish, stop };
})();
