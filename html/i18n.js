// The board's own texts, one table per language of the shell's language menu, every table with the
// English keys in the English order. The shell tells the page its language through __setLang.
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
    pdfReading: '正在读取 PDF…',
    notImageOrTooBig: '响应不是图片或超过 25MB',
    httpsOnly: '只允许 https 请求（本地 Ollama 可用 http://127.0.0.1）',
    pdfTooBig: 'PDF 超过 25MB，无法读取',
    backendKeychain: '系统密钥环', backendFile: '加密文件',
    labelled: '{label}：{value}',
  },
  'zh-Hant': {
    appTitle: 'TAVRIK 畫板',
    untitled: '未命名畫板',
    note: '便條', addNote: '新增便條', newNoteText: '按兩下以編輯文字',
    open: '開啟', save: '儲存', export: '匯出', importPdf: '匯入 PDF 範本',
    ratio: '比例', ratioCanvas: '跟隨畫布',
    exportPng: 'PNG 圖片', exportJpg: 'JPG 圖片', exportPdf: 'PDF 文件', exportPdfPages: '多頁 PDF',
    openWithApp: '用應用程式開啟', saveAsFile: '存成檔案', remove: '刪除',
    zoom: '縮放', sensitivity: '縮放靈敏度', sensNames: ['很慢', '柔和', '標準', '快', '很快'],
    panel: '工具', language: '語言', follow: '跟隨系統',
    fetchTitle: '從網址加入圖片', fetchPlaceholder: 'https://…/image.png', fetch: '取得',
    fetching: '正在取得…', fetched: '已加入圖片',
    aiTitle: 'AI 助理', endpoint: 'API 端點', model: '模型', keyId: '金鑰名稱', keyValue: '金鑰',
    storeKey: '儲存金鑰', prompt: '提示詞', send: '傳送', sending: '正在等候回應…', addToBoard: '加入畫板',
    keysTitle: '已儲存的金鑰', refresh: '重新整理', noKeys: '尚未儲存任何金鑰', backend: '儲存位置',
    keyStored: '已儲存金鑰', keyRemoved: '已刪除金鑰', keyFailed: '無法儲存金鑰',
    emptyBoard: '畫板是空的', saved: '已要求儲存', opened: '已開啟畫板',
    badDocument: '無法開啟：這不是有效的畫板檔案', dropped: '已加入 {n} 個項目',
    renderingPdf: '正在讀取 PDF：第 {i}/{n} 頁', pdfDone: '已匯入 {n} 頁', pdfFailed: '無法讀取這個 PDF',
    formatUnavailable: '此畫板無法匯出 {fmt}，請使用 PNG、JPG 或 PDF',
    noReply: '沒有收到回應', httpError: 'HTTP {status}',
    hint: '拖入圖片、新增便條，按住拖曳即可移動，按 Delete 刪除。',
    zoomSensSet: '縮放靈敏度：{name}',
    recovered: '已還原上次結束時保留的畫板，請確認是否已儲存',
    badUrl: '請輸入 http 或 https 網址', notImage: '這不是可以顯示的圖片',
    pdfReading: '正在讀取 PDF…',
    notImageOrTooBig: '回應不是圖片或超過 25MB',
    httpsOnly: '只允許 https 請求（本機 Ollama 可使用 http://127.0.0.1）',
    pdfTooBig: 'PDF 超過 25MB，無法讀取',
    backendKeychain: '系統金鑰圈', backendFile: '加密檔案',
    labelled: '{label}：{value}',
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
    badDocument: 'Cannot open: this is not a board file', dropped: 'Items added: {n}',
    renderingPdf: 'Reading PDF: page {i} of {n}', pdfDone: 'Pages imported: {n}', pdfFailed: 'This PDF could not be read',
    formatUnavailable: 'This board cannot export {fmt}; use PNG, JPG or PDF',
    noReply: 'No reply received', httpError: 'HTTP {status}',
    hint: 'Drop images, add notes, drag to move, press Delete to remove.',
    zoomSensSet: 'Zoom sensitivity: {name}',
    recovered: 'The board from the last quit is back; check that it was saved',
    badUrl: 'Enter an http or https address', notImage: 'This is not an image the board can show',
    pdfReading: 'Reading PDF…',
    notImageOrTooBig: 'Response is not an image or exceeds 25 MB',
    httpsOnly: 'Only https requests are allowed (a local Ollama may use http://127.0.0.1)',
    pdfTooBig: 'The PDF is larger than 25 MB and cannot be read',
    backendKeychain: 'System keyring', backendFile: 'Encrypted file',
    labelled: '{label}: {value}',  // a label and its value, with the language's colon
  },
  ja: {
    appTitle: 'TAVRIK ボード',
    untitled: '名称未設定のボード',
    note: 'メモ', addNote: 'メモを追加', newNoteText: 'ダブルクリックして編集',
    open: '開く', save: '保存', export: '書き出し', importPdf: 'PDF テンプレートを読み込む',
    ratio: '比率', ratioCanvas: 'キャンバスに合わせる',
    exportPng: 'PNG 画像', exportJpg: 'JPG 画像', exportPdf: 'PDF 書類', exportPdfPages: '複数ページの PDF',
    openWithApp: 'アプリで開く', saveAsFile: 'ファイルとして保存', remove: '削除',
    zoom: 'ズーム', sensitivity: 'ズーム感度', sensNames: ['とても遅い', 'やさしい', '標準', '速い', 'とても速い'],
    panel: 'ツール', language: '言語', follow: 'システムに従う',
    fetchTitle: 'URL から画像を追加', fetchPlaceholder: 'https://…/image.png', fetch: '取得',
    fetching: '取得中…', fetched: '画像を追加しました',
    aiTitle: 'AI アシスタント', endpoint: 'エンドポイント URL', model: 'モデル', keyId: 'キーの名前', keyValue: 'キー',
    storeKey: 'キーを保存', prompt: 'プロンプト', send: '送信', sending: '応答を待っています…', addToBoard: 'ボードに追加',
    keysTitle: '保存済みのキー', refresh: '更新', noKeys: '保存されたキーはまだありません', backend: '保存先',
    keyStored: 'キーを保存しました', keyRemoved: 'キーを削除しました', keyFailed: 'キーを保存できませんでした',
    emptyBoard: 'ボードが空です', saved: '保存を依頼しました', opened: 'ボードを開きました',
    badDocument: '開けません：ボードのファイルではありません', dropped: '{n} 件追加しました',
    renderingPdf: 'PDF を読み込み中：{i}/{n} ページ', pdfDone: '{n} ページを読み込みました', pdfFailed: 'この PDF は読み込めませんでした',
    formatUnavailable: 'このボードは {fmt} に書き出せません。PNG、JPG、PDF のいずれかを使ってください',
    noReply: '応答がありません', httpError: 'HTTP {status}',
    hint: '画像をドロップ、メモを追加、ドラッグで移動、Delete キーで削除できます。',
    zoomSensSet: 'ズーム感度：{name}',
    recovered: '前回終了時のボードを復元しました。保存されているか確認してください',
    badUrl: 'http または https のアドレスを入力してください', notImage: '表示できる画像ではありません',
    pdfReading: 'PDF を読み込み中…',
    notImageOrTooBig: '応答が画像でないか、25MB を超えています',
    httpsOnly: 'https のリクエストのみ許可されています（ローカルの Ollama は http://127.0.0.1 を使えます）',
    pdfTooBig: 'PDF が 25MB を超えているため読み込めません',
    backendKeychain: 'システムのキーリング', backendFile: '暗号化ファイル',
    labelled: '{label}：{value}',
  },
  es: {
    appTitle: 'Tablero de TAVRIK',
    untitled: 'Tablero sin título',
    note: 'Nota', addNote: 'Añadir nota', newNoteText: 'Doble clic para editar',
    open: 'Abrir', save: 'Guardar', export: 'Exportar', importPdf: 'Importar plantilla PDF',
    ratio: 'Proporción', ratioCanvas: 'Igualar al lienzo',
    exportPng: 'Imagen PNG', exportJpg: 'Imagen JPG', exportPdf: 'Documento PDF', exportPdfPages: 'PDF de varias páginas',
    openWithApp: 'Abrir en una app', saveAsFile: 'Guardar archivo', remove: 'Eliminar',
    zoom: 'Zoom', sensitivity: 'Sensibilidad de zoom', sensNames: ['Muy lenta', 'Suave', 'Estándar', 'Rápida', 'Muy rápida'],
    panel: 'Herramientas', language: 'Idioma', follow: 'Seguir el sistema',
    fetchTitle: 'Añadir imagen desde URL', fetchPlaceholder: 'https://…/image.png', fetch: 'Obtener',
    fetching: 'Obteniendo…', fetched: 'Imagen añadida',
    aiTitle: 'Asistente de IA', endpoint: 'URL del servicio', model: 'Modelo', keyId: 'Nombre de la clave', keyValue: 'Clave',
    storeKey: 'Guardar clave', prompt: 'Instrucción', send: 'Enviar', sending: 'Esperando la respuesta…', addToBoard: 'Añadir al tablero',
    keysTitle: 'Claves guardadas', refresh: 'Actualizar', noKeys: 'Aún no hay claves guardadas', backend: 'Guardadas en',
    keyStored: 'Clave guardada', keyRemoved: 'Clave eliminada', keyFailed: 'No se pudo guardar la clave',
    emptyBoard: 'El tablero está vacío', saved: 'Guardado solicitado', opened: 'Tablero abierto',
    badDocument: 'No se puede abrir: no es un archivo de tablero', dropped: 'Elementos añadidos: {n}',
    renderingPdf: 'Leyendo PDF: página {i} de {n}', pdfDone: 'Páginas importadas: {n}', pdfFailed: 'No se pudo leer este PDF',
    formatUnavailable: 'Este tablero no se puede exportar a {fmt}; use PNG, JPG o PDF',
    noReply: 'No se recibió respuesta', httpError: 'HTTP {status}',
    hint: 'Suelte imágenes, añada notas, arrastre para moverlas y pulse Supr para eliminar.',
    zoomSensSet: 'Sensibilidad de zoom: {name}',
    recovered: 'Se ha recuperado el tablero de la última salida; compruebe que esté guardado',
    badUrl: 'Introduzca una dirección http o https', notImage: 'No es una imagen que el tablero pueda mostrar',
    pdfReading: 'Leyendo PDF…',
    notImageOrTooBig: 'La respuesta no es una imagen o supera 25 MB',
    httpsOnly: 'Solo se permiten solicitudes https (un Ollama local puede usar http://127.0.0.1)',
    pdfTooBig: 'El PDF supera los 25 MB y no se puede leer',
    backendKeychain: 'Llavero del sistema', backendFile: 'Archivo cifrado',
    labelled: '{label}: {value}',
  },
  fr: {
    appTitle: 'Tableau TAVRIK',
    untitled: 'Tableau sans titre',
    note: 'Note', addNote: 'Ajouter une note', newNoteText: 'Double-cliquez pour modifier',
    open: 'Ouvrir', save: 'Enregistrer', export: 'Exporter', importPdf: 'Importer un modèle PDF',
    ratio: 'Format', ratioCanvas: 'Selon le canevas',
    exportPng: 'Image PNG', exportJpg: 'Image JPG', exportPdf: 'Document PDF', exportPdfPages: 'PDF multipage',
    openWithApp: 'Ouvrir dans une app', saveAsFile: 'Enregistrer le fichier', remove: 'Supprimer',
    zoom: 'Zoom', sensitivity: 'Sensibilité du zoom', sensNames: ['Très lente', 'Douce', 'Standard', 'Rapide', 'Très rapide'],
    panel: 'Outils', language: 'Langue', follow: 'Suivre le système',
    fetchTitle: 'Ajouter une image depuis une URL', fetchPlaceholder: 'https://…/image.png', fetch: 'Récupérer',
    fetching: 'Récupération…', fetched: 'Image ajoutée',
    aiTitle: 'Assistant IA', endpoint: 'URL du service', model: 'Modèle', keyId: 'Nom de la clé', keyValue: 'Clé',
    storeKey: 'Enregistrer la clé', prompt: 'Invite', send: 'Envoyer', sending: 'En attente de la réponse…', addToBoard: 'Ajouter au tableau',
    keysTitle: 'Clés enregistrées', refresh: 'Actualiser', noKeys: 'Aucune clé enregistrée', backend: 'Stockage',
    keyStored: 'Clé enregistrée', keyRemoved: 'Clé supprimée', keyFailed: "Impossible d'enregistrer la clé",
    emptyBoard: 'Le tableau est vide', saved: 'Enregistrement demandé', opened: 'Tableau ouvert',
    badDocument: "Impossible d'ouvrir : ce n'est pas un fichier de tableau", dropped: 'Éléments ajoutés : {n}',
    renderingPdf: 'Lecture du PDF : page {i} sur {n}', pdfDone: 'Pages importées : {n}', pdfFailed: 'Impossible de lire ce PDF',
    formatUnavailable: 'Ce tableau ne peut pas être exporté en {fmt} ; utilisez PNG, JPG ou PDF',
    noReply: 'Aucune réponse reçue', httpError: 'HTTP {status}',
    hint: 'Déposez des images, ajoutez des notes, faites glisser pour déplacer, appuyez sur Suppr pour supprimer.',
    zoomSensSet: 'Sensibilité du zoom : {name}',
    recovered: "Le tableau de la dernière fermeture a été récupéré ; vérifiez qu'il a bien été enregistré",
    badUrl: 'Saisissez une adresse http ou https', notImage: "Ce n'est pas une image affichable",
    pdfReading: 'Lecture du PDF…',
    notImageOrTooBig: "La réponse n'est pas une image ou dépasse 25 Mo",
    httpsOnly: 'Seules les requêtes https sont autorisées (un Ollama local peut utiliser http://127.0.0.1)',
    pdfTooBig: 'Le PDF dépasse 25 Mo et ne peut pas être lu',
    backendKeychain: 'Trousseau du système', backendFile: 'Fichier chiffré',
    labelled: '{label}\u00a0: {value}',
  },
  de: {
    appTitle: 'TAVRIK-Board',
    untitled: 'Unbenanntes Board',
    note: 'Notiz', addNote: 'Notiz hinzufügen', newNoteText: 'Zum Bearbeiten doppelklicken',
    open: 'Öffnen', save: 'Sichern', export: 'Exportieren', importPdf: 'PDF-Vorlage importieren',
    ratio: 'Seitenverhältnis', ratioCanvas: 'An Leinwand anpassen',
    exportPng: 'PNG-Bild', exportJpg: 'JPG-Bild', exportPdf: 'PDF-Dokument', exportPdfPages: 'Mehrseitiges PDF',
    openWithApp: 'In App öffnen', saveAsFile: 'Als Datei sichern', remove: 'Löschen',
    zoom: 'Zoom', sensitivity: 'Zoom-Empfindlichkeit', sensNames: ['Sehr langsam', 'Sanft', 'Standard', 'Schnell', 'Sehr schnell'],
    panel: 'Werkzeuge', language: 'Sprache', follow: 'Systemeinstellung folgen',
    fetchTitle: 'Bild von URL hinzufügen', fetchPlaceholder: 'https://…/image.png', fetch: 'Abrufen',
    fetching: 'Wird abgerufen…', fetched: 'Bild hinzugefügt',
    aiTitle: 'KI-Assistent', endpoint: 'Endpunkt-URL', model: 'Modell', keyId: 'Schlüsselname', keyValue: 'Schlüssel',
    storeKey: 'Schlüssel sichern', prompt: 'Prompt', send: 'Senden', sending: 'Warte auf Antwort…', addToBoard: 'Zum Board hinzufügen',
    keysTitle: 'Gesicherte Schlüssel', refresh: 'Aktualisieren', noKeys: 'Noch keine Schlüssel gesichert', backend: 'Speicherort',
    keyStored: 'Schlüssel gesichert', keyRemoved: 'Schlüssel gelöscht', keyFailed: 'Der Schlüssel konnte nicht gesichert werden',
    emptyBoard: 'Das Board ist leer', saved: 'Sichern angefordert', opened: 'Board geöffnet',
    badDocument: 'Öffnen nicht möglich: keine Board-Datei', dropped: 'Hinzugefügte Objekte: {n}',
    renderingPdf: 'PDF wird gelesen: Seite {i} von {n}', pdfDone: 'Importierte Seiten: {n}', pdfFailed: 'Dieses PDF konnte nicht gelesen werden',
    formatUnavailable: 'Dieses Board kann nicht als {fmt} exportiert werden; verwenden Sie PNG, JPG oder PDF',
    noReply: 'Keine Antwort erhalten', httpError: 'HTTP {status}',
    hint: 'Bilder hineinziehen, Notizen hinzufügen, zum Verschieben ziehen, mit Entf löschen.',
    zoomSensSet: 'Zoom-Empfindlichkeit: {name}',
    recovered: 'Das Board vom letzten Beenden ist wieder da; prüfen Sie, ob es gesichert wurde',
    badUrl: 'Geben Sie eine http- oder https-Adresse ein', notImage: 'Dies ist kein Bild, das das Board anzeigen kann',
    pdfReading: 'PDF wird gelesen…',
    notImageOrTooBig: 'Antwort ist kein Bild oder über 25 MB',
    httpsOnly: 'Nur https-Anfragen sind erlaubt (ein lokales Ollama kann http://127.0.0.1 verwenden)',
    pdfTooBig: 'Das PDF ist größer als 25 MB und kann nicht gelesen werden',
    backendKeychain: 'Systemschlüsselbund', backendFile: 'Verschlüsselte Datei',
    labelled: '{label}: {value}',
  },
  it: {
    appTitle: 'Lavagna di TAVRIK',
    untitled: 'Lavagna senza titolo',
    note: 'Nota', addNote: 'Aggiungi nota', newNoteText: 'Fai doppio clic per modificare',
    open: 'Apri', save: 'Salva', export: 'Esporta', importPdf: 'Importa modello PDF',
    ratio: 'Proporzioni', ratioCanvas: 'Come la tela',
    exportPng: 'Immagine PNG', exportJpg: 'Immagine JPG', exportPdf: 'Documento PDF', exportPdfPages: 'PDF multipagina',
    openWithApp: "Apri in un'app", saveAsFile: 'Salva come file', remove: 'Elimina',
    zoom: 'Zoom', sensitivity: 'Sensibilità zoom', sensNames: ['Molto lenta', 'Morbida', 'Standard', 'Veloce', 'Molto veloce'],
    panel: 'Strumenti', language: 'Lingua', follow: 'Segui il sistema',
    fetchTitle: 'Aggiungi immagine da URL', fetchPlaceholder: 'https://…/image.png', fetch: 'Scarica',
    fetching: 'Download in corso…', fetched: 'Immagine aggiunta',
    aiTitle: 'Assistente IA', endpoint: 'URL del servizio', model: 'Modello', keyId: 'Nome della chiave', keyValue: 'Chiave',
    storeKey: 'Salva chiave', prompt: 'Prompt', send: 'Invia', sending: 'In attesa della risposta…', addToBoard: 'Aggiungi alla lavagna',
    keysTitle: 'Chiavi salvate', refresh: 'Aggiorna', noKeys: 'Nessuna chiave salvata', backend: 'Archiviate in',
    keyStored: 'Chiave salvata', keyRemoved: 'Chiave eliminata', keyFailed: 'Impossibile salvare la chiave',
    emptyBoard: 'La lavagna è vuota', saved: 'Salvataggio richiesto', opened: 'Lavagna aperta',
    badDocument: 'Impossibile aprire: non è un file di lavagna', dropped: 'Elementi aggiunti: {n}',
    renderingPdf: 'Lettura PDF: pagina {i} di {n}', pdfDone: 'Pagine importate: {n}', pdfFailed: 'Impossibile leggere questo PDF',
    formatUnavailable: 'Questa lavagna non può essere esportata in {fmt}; usa PNG, JPG o PDF',
    noReply: 'Nessuna risposta ricevuta', httpError: 'HTTP {status}',
    hint: 'Trascina immagini, aggiungi note, trascina per spostare, premi Canc per eliminare.',
    zoomSensSet: 'Sensibilità zoom: {name}',
    recovered: "La lavagna dell'ultima uscita è stata recuperata; verifica che sia stata salvata",
    badUrl: 'Inserisci un indirizzo http o https', notImage: "Non è un'immagine che la lavagna può mostrare",
    pdfReading: 'Lettura PDF…',
    notImageOrTooBig: "La risposta non è un'immagine o supera 25 MB",
    httpsOnly: 'Sono consentite solo richieste https (un Ollama locale può usare http://127.0.0.1)',
    pdfTooBig: 'Il PDF supera 25 MB e non può essere letto',
    backendKeychain: 'Portachiavi di sistema', backendFile: 'File cifrato',
    labelled: '{label}: {value}',
  },
  pt: {
    appTitle: 'Quadro do TAVRIK',
    untitled: 'Quadro sem título',
    note: 'Nota', addNote: 'Adicionar nota', newNoteText: 'Clique duas vezes para editar',
    open: 'Abrir', save: 'Salvar', export: 'Exportar', importPdf: 'Importar modelo PDF',
    ratio: 'Proporção', ratioCanvas: 'Igualar à tela',
    exportPng: 'Imagem PNG', exportJpg: 'Imagem JPG', exportPdf: 'Documento PDF', exportPdfPages: 'PDF com várias páginas',
    openWithApp: 'Abrir em um app', saveAsFile: 'Salvar arquivo', remove: 'Excluir',
    zoom: 'Zoom', sensitivity: 'Sensibilidade do zoom', sensNames: ['Muito lenta', 'Suave', 'Padrão', 'Rápida', 'Muito rápida'],
    panel: 'Ferramentas', language: 'Idioma', follow: 'Seguir o sistema',
    fetchTitle: 'Adicionar imagem de URL', fetchPlaceholder: 'https://…/image.png', fetch: 'Buscar',
    fetching: 'Buscando…', fetched: 'Imagem adicionada',
    aiTitle: 'Assistente de IA', endpoint: 'URL do serviço', model: 'Modelo', keyId: 'Nome da chave', keyValue: 'Chave',
    storeKey: 'Salvar chave', prompt: 'Instrução', send: 'Enviar', sending: 'Aguardando a resposta…', addToBoard: 'Adicionar ao quadro',
    keysTitle: 'Chaves salvas', refresh: 'Atualizar', noKeys: 'Nenhuma chave salva ainda', backend: 'Armazenadas em',
    keyStored: 'Chave salva', keyRemoved: 'Chave excluída', keyFailed: 'Não foi possível salvar a chave',
    emptyBoard: 'O quadro está vazio', saved: 'Salvamento solicitado', opened: 'Quadro aberto',
    badDocument: 'Não é possível abrir: não é um arquivo de quadro', dropped: 'Itens adicionados: {n}',
    renderingPdf: 'Lendo PDF: página {i} de {n}', pdfDone: 'Páginas importadas: {n}', pdfFailed: 'Não foi possível ler este PDF',
    formatUnavailable: 'Este quadro não pode ser exportado como {fmt}; use PNG, JPG ou PDF',
    noReply: 'Nenhuma resposta recebida', httpError: 'HTTP {status}',
    hint: 'Solte imagens, adicione notas, arraste para mover e pressione Delete para excluir.',
    zoomSensSet: 'Sensibilidade do zoom: {name}',
    recovered: 'O quadro da última saída foi recuperado; confira se ele foi salvo',
    badUrl: 'Digite um endereço http ou https', notImage: 'Esta não é uma imagem que o quadro possa exibir',
    pdfReading: 'Lendo PDF…',
    notImageOrTooBig: 'A resposta não é uma imagem ou excede 25 MB',
    httpsOnly: 'Somente solicitações https são permitidas (um Ollama local pode usar http://127.0.0.1)',
    pdfTooBig: 'O PDF tem mais de 25 MB e não pode ser lido',
    backendKeychain: 'Chaveiro do sistema', backendFile: 'Arquivo criptografado',
    labelled: '{label}: {value}',
  },
  ko: {
    appTitle: 'TAVRIK 보드',
    untitled: '제목 없는 보드',
    note: '메모', addNote: '메모 추가', newNoteText: '두 번 클릭하여 편집',
    open: '열기', save: '저장', export: '내보내기', importPdf: 'PDF 템플릿 가져오기',
    ratio: '비율', ratioCanvas: '캔버스에 맞춤',
    exportPng: 'PNG 이미지', exportJpg: 'JPG 이미지', exportPdf: 'PDF 문서', exportPdfPages: '여러 페이지 PDF',
    openWithApp: '앱에서 열기', saveAsFile: '파일로 저장', remove: '삭제',
    zoom: '확대/축소', sensitivity: '확대/축소 감도', sensNames: ['매우 느리게', '부드럽게', '표준', '빠르게', '매우 빠르게'],
    panel: '도구', language: '언어', follow: '시스템 따르기',
    fetchTitle: 'URL에서 이미지 추가', fetchPlaceholder: 'https://…/image.png', fetch: '가져오기',
    fetching: '가져오는 중…', fetched: '이미지를 추가했습니다',
    aiTitle: 'AI 도우미', endpoint: '엔드포인트 URL', model: '모델', keyId: '키 이름', keyValue: '키',
    storeKey: '키 저장', prompt: '프롬프트', send: '보내기', sending: '응답을 기다리는 중…', addToBoard: '보드에 추가',
    keysTitle: '저장된 키', refresh: '새로 고침', noKeys: '저장된 키가 없습니다', backend: '저장 위치',
    keyStored: '키를 저장했습니다', keyRemoved: '키를 삭제했습니다', keyFailed: '키를 저장하지 못했습니다',
    emptyBoard: '보드가 비어 있습니다', saved: '저장을 요청했습니다', opened: '보드를 열었습니다',
    badDocument: '열 수 없음: 보드 파일이 아닙니다', dropped: '항목 {n}개를 추가했습니다',
    renderingPdf: 'PDF 읽는 중: {n}페이지 중 {i}페이지', pdfDone: '{n}페이지를 가져왔습니다', pdfFailed: '이 PDF를 읽을 수 없습니다',
    formatUnavailable: '이 보드는 {fmt}(으)로 내보낼 수 없습니다. PNG, JPG 또는 PDF를 사용하세요',
    noReply: '응답을 받지 못했습니다', httpError: 'HTTP {status}',
    hint: '이미지를 끌어다 놓고, 메모를 추가하고, 드래그하여 이동하고, Delete 키로 삭제하세요.',
    zoomSensSet: '확대/축소 감도: {name}',
    recovered: '마지막 종료 때의 보드를 복구했습니다. 저장되었는지 확인하세요',
    badUrl: 'http 또는 https 주소를 입력하세요', notImage: '표시할 수 있는 이미지가 아닙니다',
    pdfReading: 'PDF 읽는 중…',
    notImageOrTooBig: '응답이 이미지가 아니거나 25MB를 초과합니다',
    httpsOnly: 'https 요청만 허용됩니다(로컬 Ollama는 http://127.0.0.1 사용 가능)',
    pdfTooBig: 'PDF가 25MB를 초과하여 읽을 수 없습니다',
    backendKeychain: '시스템 키링', backendFile: '암호화된 파일',
    labelled: '{label}: {value}',
  },
};

// The language choices the shell knows, in its own order, each named in its own language.
const LANG_CODES = ['auto', 'zh-Hans', 'zh-Hant', 'en', 'ja', 'es', 'fr', 'de', 'it', 'pt', 'ko'];
const LANG_NAMES = {
  'zh-Hans': '简体中文', 'zh-Hant': '繁體中文', en: 'English', ja: '日本語', es: 'Español',
  fr: 'Français', de: 'Deutsch', it: 'Italiano', pt: 'Português', ko: '한국어',
};

// Texts the shell sends word for word in Simplified Chinese (its errors and toasts), shown here in
// the page's language.
const SHELL_TEXTS = {
  '响应不是图片或超过 25MB': 'notImageOrTooBig',
  '只允许 https 请求（本地 Ollama 可用 http://127.0.0.1）': 'httpsOnly',
  'PDF 超过 25MB，无法读取': 'pdfTooBig',
};

const i18n = {
  code: 'auto',     // what the user chose, as the shell stores it
  lang: 'en',       // the language in force
  table: TEXTS.en,  // the texts in use

  // The shell's rule: a choice other than "auto" stands as it is (English texts when there is no
  // table for it); "auto" follows the first preferred language, which the shell gives the web view.
  resolve(code) {
    if (code !== 'auto') return code;
    const tag = String(navigator.languages?.[0] || navigator.language || 'zh-Hans').toLowerCase();
    if (tag.startsWith('zh')) return ['hant', 'tw', 'hk', 'mo'].some((p) => tag.includes(p)) ? 'zh-Hant' : 'zh-Hans';
    return ['ja', 'es', 'fr', 'de', 'it', 'pt', 'ko'].find((p) => tag.startsWith(p)) || 'en';
  },

  // Takes any code the shell may hold, so that page and menus agree even on a hand-edited one.
  set(code) {
    if (typeof code !== 'string' || !/^[A-Za-z0-9][A-Za-z0-9-]{0,34}$/.test(code)) return false;
    this.code = code;
    this.lang = this.resolve(code);
    this.table = TEXTS[this.lang] || TEXTS.en;
    this.formats = {};
    document.documentElement.lang = TEXTS[this.lang] ? this.lang : 'en';
    return true;
  },

  // t('dropped', {n: 3}) fills the {n} placeholder; numbers are written the language's way.
  t(key, values) {
    let text = this.table[key] ?? TEXTS.en[key] ?? key;
    if (values && typeof text === 'string') {
      text = text.replace(/\{(\w+)\}/g, (m, name) => {
        if (!(name in values)) return m;
        const v = values[name];
        return typeof v === 'number' ? this.number(v) : String(v);
      });
    }
    return text;
  },

  // A text the shell sent in Simplified Chinese, in the current language when the page knows it.
  native(text) {
    const key = SHELL_TEXTS[text];
    return key ? this.t(key) : text;
  },

  format(kind, options) {
    const locale = document.documentElement.lang;
    this.formats ??= {};
    return (this.formats[kind] ??= kind === 'date' ? new Intl.DateTimeFormat(locale, options)
                                                   : new Intl.NumberFormat(locale, options));
  },
  number(value) { return this.format('number').format(value); },
  percent(ratio) { return this.format('percent', { style: 'percent', maximumFractionDigits: 0 }).format(ratio); },
  date(when) { return this.format('date', { dateStyle: 'medium', timeStyle: 'short' }).format(when); },
  // A byte count in the largest unit that keeps it at 1 or more: "512 bytes", "1.5 MB", "1,5 Mo".
  size(bytes) {
    let value = Math.max(0, Number(bytes) || 0), i = 0;
    const units = ['byte', 'kilobyte', 'megabyte', 'gigabyte'];
    for (; value >= 1024 && i < units.length - 1; i++) value /= 1024;
    return this.format(`size-${i}-${value < 10}`, { style: 'unit', unit: units[i], unitDisplay: i ? 'short' : 'long',
                                                    maximumFractionDigits: i && value < 10 ? 1 : 0 }).format(value);
  },

  // Fills every element marked data-i18n (text) or data-i18n-placeholder / data-i18n-title.
  apply(root = document) {
    for (const el of root.querySelectorAll('[data-i18n]')) el.textContent = this.t(el.dataset.i18n);
    for (const el of root.querySelectorAll('[data-i18n-placeholder]')) el.placeholder = this.t(el.dataset.i18nPlaceholder);
    for (const el of root.querySelectorAll('[data-i18n-title]')) el.title = this.t(el.dataset.i18nTitle);
  },
};
