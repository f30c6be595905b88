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

// Texts of drops, opening from outside and the Office exports, for every table present.
const MORE_TEXTS = {
  'zh-Hans': {
    exportDocx: 'Word 文档', exportPptx: 'PowerPoint 演示文稿',
    dropPdfQuestion: '拖入了 {n} 个 PDF：导入为模板页，还是作为文件添加？', dropPdfTemplate: '导入为模板',
    dropPdfFile: '作为文件添加', cancel: '取消',
    dropTooLarge: '“{name}”超过 {limit} 字节的上限，未添加', dropUnreadable: '无法读取“{name}”',
    openMissing: '找不到“{name}”', openUnreadable: '无法读取“{name}”', openDirectory: '“{name}”是文件夹，不是画板文件',
    openNotBoard: '“{name}”不是画板文件', notOnSystem: '此系统上无法使用 {fmt}',
  },
  'zh-Hant': {
    exportDocx: 'Word 文件', exportPptx: 'PowerPoint 簡報',
    dropPdfQuestion: '拖入了 {n} 個 PDF：匯入為範本頁，還是作為檔案加入？', dropPdfTemplate: '匯入為範本',
    dropPdfFile: '作為檔案加入', cancel: '取消',
    dropTooLarge: '「{name}」超過 {limit} 位元組的上限，未加入', dropUnreadable: '無法讀取「{name}」',
    openMissing: '找不到「{name}」', openUnreadable: '無法讀取「{name}」', openDirectory: '「{name}」是資料夾，不是畫板檔案',
    openNotBoard: '「{name}」不是畫板檔案', notOnSystem: '此系統上無法使用 {fmt}',
  },
  en: {
    exportDocx: 'Word document', exportPptx: 'PowerPoint presentation',
    dropPdfQuestion: '{n} PDF file(s) dropped: import as template pages or add as files?',
    dropPdfTemplate: 'Import as template', dropPdfFile: 'Add as file', cancel: 'Cancel',
    dropTooLarge: '“{name}” is larger than the limit of {limit} bytes and was not added',
    dropUnreadable: '“{name}” could not be read',
    openMissing: '“{name}” was not found', openUnreadable: '“{name}” could not be read',
    openDirectory: '“{name}” is a folder, not a board file', openNotBoard: '“{name}” is not a board file',
    notOnSystem: '{fmt} is not available on this system',
  },
  ja: {
    exportDocx: 'Word 文書', exportPptx: 'PowerPoint プレゼンテーション',
    dropPdfQuestion: '{n} 個の PDF がドロップされました。テンプレートのページとして読み込みますか、ファイルとして追加しますか？',
    dropPdfTemplate: 'テンプレートとして読み込む', dropPdfFile: 'ファイルとして追加', cancel: 'キャンセル',
    dropTooLarge: '「{name}」は上限の {limit} バイトを超えているため追加されませんでした',
    dropUnreadable: '「{name}」を読み込めませんでした',
    openMissing: '「{name}」が見つかりません', openUnreadable: '「{name}」を読み込めませんでした',
    openDirectory: '「{name}」はフォルダーです。ボードファイルではありません', openNotBoard: '「{name}」はボードファイルではありません',
    notOnSystem: '{fmt} はこのシステムでは利用できません',
  },
  es: {
    exportDocx: 'Documento de Word', exportPptx: 'Presentación de PowerPoint',
    dropPdfQuestion: 'Se soltaron {n} PDF: ¿importarlos como páginas de plantilla o añadirlos como archivos?',
    dropPdfTemplate: 'Importar como plantilla', dropPdfFile: 'Añadir como archivo', cancel: 'Cancelar',
    dropTooLarge: '«{name}» supera el límite de {limit} bytes y no se ha añadido',
    dropUnreadable: 'No se pudo leer «{name}»',
    openMissing: 'No se encontró «{name}»', openUnreadable: 'No se pudo leer «{name}»',
    openDirectory: '«{name}» es una carpeta, no un archivo de tablero', openNotBoard: '«{name}» no es un archivo de tablero',
    notOnSystem: '{fmt} no está disponible en este sistema',
  },
  fr: {
    exportDocx: 'Document Word', exportPptx: 'Présentation PowerPoint',
    dropPdfQuestion: '{n} PDF déposé(s) : les importer comme pages de modèle ou les ajouter comme fichiers ?',
    dropPdfTemplate: 'Importer comme modèle', dropPdfFile: 'Ajouter comme fichier', cancel: 'Annuler',
    dropTooLarge: '« {name} » dépasse la limite de {limit} octets et n’a pas été ajouté',
    dropUnreadable: 'Impossible de lire « {name} »',
    openMissing: '« {name} » est introuvable', openUnreadable: 'Impossible de lire « {name} »',
    openDirectory: '« {name} » est un dossier, pas un fichier de tableau', openNotBoard: '« {name} » n’est pas un fichier de tableau',
    notOnSystem: '{fmt} n’est pas disponible sur ce système',
  },
  de: {
    exportDocx: 'Word-Dokument', exportPptx: 'PowerPoint-Präsentation',
    dropPdfQuestion: '{n} PDF-Datei(en) abgelegt: als Vorlagenseiten importieren oder als Dateien hinzufügen?',
    dropPdfTemplate: 'Als Vorlage importieren', dropPdfFile: 'Als Datei hinzufügen', cancel: 'Abbrechen',
    dropTooLarge: '„{name}“ ist größer als die Grenze von {limit} Byte und wurde nicht hinzugefügt',
    dropUnreadable: '„{name}“ konnte nicht gelesen werden',
    openMissing: '„{name}“ wurde nicht gefunden', openUnreadable: '„{name}“ konnte nicht gelesen werden',
    openDirectory: '„{name}“ ist ein Ordner, keine Board-Datei', openNotBoard: '„{name}“ ist keine Board-Datei',
    notOnSystem: '{fmt} ist auf diesem System nicht verfügbar',
  },
  it: {
    exportDocx: 'Documento Word', exportPptx: 'Presentazione PowerPoint',
    dropPdfQuestion: '{n} PDF rilasciati: importarli come pagine modello o aggiungerli come file?',
    dropPdfTemplate: 'Importa come modello', dropPdfFile: 'Aggiungi come file', cancel: 'Annulla',
    dropTooLarge: '«{name}» supera il limite di {limit} byte e non è stato aggiunto',
    dropUnreadable: 'Impossibile leggere «{name}»',
    openMissing: '«{name}» non trovato', openUnreadable: 'Impossibile leggere «{name}»',
    openDirectory: '«{name}» è una cartella, non un file di lavagna', openNotBoard: '«{name}» non è un file di lavagna',
    notOnSystem: '{fmt} non è disponibile su questo sistema',
  },
  pt: {
    exportDocx: 'Documento do Word', exportPptx: 'Apresentação do PowerPoint',
    dropPdfQuestion: '{n} PDF arrastado(s): importar como páginas de modelo ou adicionar como arquivos?',
    dropPdfTemplate: 'Importar como modelo', dropPdfFile: 'Adicionar como arquivo', cancel: 'Cancelar',
    dropTooLarge: '“{name}” excede o limite de {limit} bytes e não foi adicionado',
    dropUnreadable: 'Não foi possível ler “{name}”',
    openMissing: '“{name}” não foi encontrado', openUnreadable: 'Não foi possível ler “{name}”',
    openDirectory: '“{name}” é uma pasta, não um arquivo de quadro', openNotBoard: '“{name}” não é um arquivo de quadro',
    notOnSystem: '{fmt} não está disponível neste sistema',
  },
  ko: {
    exportDocx: 'Word 문서', exportPptx: 'PowerPoint 프레젠테이션',
    dropPdfQuestion: 'PDF {n}개를 끌어 놓았습니다. 템플릿 페이지로 가져올까요, 파일로 추가할까요?',
    dropPdfTemplate: '템플릿으로 가져오기', dropPdfFile: '파일로 추가', cancel: '취소',
    dropTooLarge: '“{name}”은(는) 한도인 {limit}바이트를 넘어 추가하지 않았습니다',
    dropUnreadable: '“{name}”을(를) 읽을 수 없습니다',
    openMissing: '“{name}”을(를) 찾을 수 없습니다', openUnreadable: '“{name}”을(를) 읽을 수 없습니다',
    openDirectory: '“{name}”은(는) 폴더이며 보드 파일이 아닙니다', openNotBoard: '“{name}”은(는) 보드 파일이 아닙니다',
    notOnSystem: '이 시스템에서는 {fmt}을(를) 사용할 수 없습니다',
  },
};
for (const [code, texts] of Object.entries(MORE_TEXTS)) if (TEXTS[code]) Object.assign(TEXTS[code], texts);
