// The board's own texts. The shell tells the page its language through __setLang; codes without a
// table of their own fall back to English, and "auto" follows the web view's language.
'use strict';

const TEXTS = {
  'zh-Hans': {
    appTitle: 'TAVRIK 画板',
    untitled: '未命名画板',
    note: '便签', addNote: '添加便签', newNoteText: '双击编辑文字',
    open: '打开', save: '保存', export: '导出', importPdf: '导入 PDF 模板',
    ratio: '比例', ratioCanvas: '跟随画布',
    exportPng: 'PNG 图片', exportJpg: 'JPG 图片', exportPdf: 'PDF 文档', exportPdfPages: '多页 PDF',
    openWithApp: '用应用打开', saveAsFile: '存为文件', remove: '删除',
    zoom: '缩放', sensitivity: '缩放灵敏度', sensNames: ['很慢', '柔和', '标准', '快', '很快'],
    panel: '工具', language: '语言', follow: '跟随系统',
    fetchTitle: '从网址添加图片', fetchPlaceholder: 'https://…/image.png', fetch: '获取',
    fetching: '正在获取…', fetched: '图片已添加',
    aiTitle: 'AI 助手', endpoint: '接口地址', model: '模型', keyId: '密钥名称', keyValue: '密钥',
    storeKey: '保存密钥', prompt: '提示词', send: '发送', sending: '正在请求…', addToBoard: '添加到画板',
    keysTitle: '已保存的密钥', refresh: '刷新', noKeys: '还没有保存密钥', backend: '存储位置',
    keyStored: '密钥已保存', keyRemoved: '密钥已删除', keyFailed: '密钥保存失败',
    emptyBoard: '画板是空的', saved: '已请求保存', opened: '画板已打开',
    badDocument: '无法打开：不是有效的画板文件', dropped: '已添加 {n} 项',
    renderingPdf: '正在读取 PDF：{i}/{n} 页', pdfDone: '已导入 {n} 页', pdfFailed: '无法读取这个 PDF',
    formatUnavailable: '此画板不能导出 {fmt}，请使用 PNG、JPG 或 PDF',
    noReply: '没有收到回复', httpError: 'HTTP {status}',
    hint: '拖入图片、添加便签，按住拖动移动，按 Delete 删除。',
    zoomSensSet: '缩放灵敏度：{name}',
    recovered: '已恢复上次退出时保存的画板，请确认已保存',
    badUrl: '请输入 http 或 https 网址', notImage: '这不是可以显示的图片',
    aiProvider: '服务类型', aiProviderOpenai: 'OpenAI 兼容', aiProviderAnthropic: 'Anthropic',
    aiProviderCustom: '自定义请求头', aiHeaderName: '请求头名称', aiStop: '停止', aiStopped: '已停止',
    badEndpoint: '接口地址无法使用：请输入完整的 http 或 https 网址',
  },
  en: {
    appTitle: 'TAVRIK board',
    untitled: 'Untitled board',
    note: 'Note', addNote: 'Add note', newNoteText: 'Double-click to edit',
    open: 'Open', save: 'Save', export: 'Export', importPdf: 'Import PDF template',
    ratio: 'Ratio', ratioCanvas: 'Match canvas',
    exportPng: 'PNG image', exportJpg: 'JPG image', exportPdf: 'PDF document', exportPdfPages: 'Multi-page PDF',
    openWithApp: 'Open in app', saveAsFile: 'Save file', remove: 'Delete',
    zoom: 'Zoom', sensitivity: 'Zoom sensitivity', sensNames: ['Very slow', 'Gentle', 'Standard', 'Fast', 'Very fast'],
    panel: 'Tools', language: 'Language', follow: 'Follow system',
    fetchTitle: 'Add image from URL', fetchPlaceholder: 'https://…/image.png', fetch: 'Fetch',
    fetching: 'Fetching…', fetched: 'Image added',
    aiTitle: 'AI assistant', endpoint: 'Endpoint URL', model: 'Model', keyId: 'Key name', keyValue: 'Key',
    storeKey: 'Store key', prompt: 'Prompt', send: 'Send', sending: 'Waiting for the reply…', addToBoard: 'Add to board',
    keysTitle: 'Stored keys', refresh: 'Refresh', noKeys: 'No keys stored yet', backend: 'Stored in',
    keyStored: 'Key stored', keyRemoved: 'Key deleted', keyFailed: 'The key could not be stored',
    emptyBoard: 'The board is empty', saved: 'Save requested', opened: 'Board opened',
    badDocument: 'Cannot open: this is not a board file', dropped: '{n} items added',
    renderingPdf: 'Reading PDF: page {i} of {n}', pdfDone: '{n} pages imported', pdfFailed: 'This PDF could not be read',
    formatUnavailable: 'This board cannot export {fmt}; use PNG, JPG or PDF',
    noReply: 'No reply received', httpError: 'HTTP {status}',
    hint: 'Drop images, add notes, drag to move, press Delete to remove.',
    zoomSensSet: 'Zoom sensitivity: {name}',
    recovered: 'The board from the last quit is back; check that it was saved',
    badUrl: 'Enter an http or https address', notImage: 'This is not an image the board can show',
    aiProvider: 'Provider', aiProviderOpenai: 'OpenAI-compatible', aiProviderAnthropic: 'Anthropic',
    aiProviderCustom: 'Custom header', aiHeaderName: 'Header name', aiStop: 'Stop', aiStopped: 'Stopped',
    badEndpoint: 'This endpoint address cannot be used: enter a full http or https URL',
  },
};

// The language choices the shell knows, in its own order; the page has texts for two of them.
const LANG_CODES = ['auto', 'zh-Hans', 'zh-Hant', 'en', 'ja', 'es', 'fr', 'de', 'it', 'pt', 'ko'];
const LANG_NAMES = {
  'zh-Hans': '简体中文', 'zh-Hant': '繁體中文', en: 'English', ja: '日本語', es: 'Español',
  fr: 'Français', de: 'Deutsch', it: 'Italiano', pt: 'Português', ko: '한국어',
};

const i18n = {
  code: 'auto',     // what the user chose, as the shell stores it
  table: TEXTS.en,  // the texts in use

  resolve(code) {
    if (code === 'auto') code = (navigator.language || 'en');
    if (/^zh/i.test(code)) return 'zh-Hans';  // Traditional Chinese readers get the Simplified texts
    return TEXTS[code] ? code : 'en';
  },

  set(code) {
    if (!LANG_CODES.includes(code)) return false;
    this.code = code;
    const resolved = this.resolve(code);
    this.table = TEXTS[resolved];
    document.documentElement.lang = resolved;
    return true;
  },

  // t('dropped', {n: 3}) fills the {n} placeholder.
  t(key, values) {
    let text = this.table[key] ?? TEXTS.en[key] ?? key;
    if (values && typeof text === 'string')
      text = text.replace(/\{(\w+)\}/g, (m, name) => (name in values ? String(values[name]) : m));
    return text;
  },

  // Fills every element marked data-i18n (text) or data-i18n-placeholder / data-i18n-title.
  apply(root = document) {
    for (const el of root.querySelectorAll('[data-i18n]')) el.textContent = this.t(el.dataset.i18n);
    for (const el of root.querySelectorAll('[data-i18n-placeholder]')) el.placeholder = this.t(el.dataset.i18nPlaceholder);
    for (const el of root.querySelectorAll('[data-i18n-title]')) el.title = this.t(el.dataset.i18nTitle);
  },
};
