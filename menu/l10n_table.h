// SPDX-License-Identifier: GPL-3.0-or-later
// The translators' sheet, byte for byte: the one-character ellipsis, full-width punctuation and the
// {n} / {lang} placeholders stay exactly as written.
// Each row: the Simplified Chinese key, then zh-Hant, en, ja, es, fr, de, it, pt, ko.
// clang-format off
#pragma once

namespace menu::l10n_data {

inline constexpr const char* kLanguages[9] = {"zh-Hant", "en", "ja", "es", "fr", "de", "it", "pt", "ko"};

inline constexpr const char* kNativeNames[10][2] = {
    {"zh-Hans", "简体中文"},
    {"zh-Hant", "繁體中文"},
    {"en", "English"},
    {"ja", "日本語"},
    {"es", "Español"},
    {"fr", "Français"},
    {"de", "Deutsch"},
    {"it", "Italiano"},
    {"pt", "Português"},
    {"ko", "한국어"},
};

inline constexpr const char* kRows[58][10] = {
    {"关于 TAVRIK", "關於 TAVRIK", "About TAVRIK", "TAVRIK について", "Acerca de TAVRIK", "À propos de TAVRIK", "Über TAVRIK", "Info su TAVRIK", "Sobre o TAVRIK", "TAVRIK 정보"},
    {"退出 TAVRIK", "結束 TAVRIK", "Quit TAVRIK", "TAVRIK を終了", "Salir de TAVRIK", "Quitter TAVRIK", "TAVRIK beenden", "Esci da TAVRIK", "Sair do TAVRIK", "TAVRIK 종료"},
    {"文件", "檔案", "File", "ファイル", "Archivo", "Fichier", "Ablage", "File", "Arquivo", "파일"},
    {"保存 JSON", "儲存 JSON", "Save JSON", "JSON を保存", "Guardar JSON", "Enregistrer le JSON", "JSON sichern", "Salva JSON", "Salvar JSON", "JSON 저장"},
    {"打开 JSON…", "開啟 JSON…", "Open JSON…", "JSON を開く…", "Abrir JSON…", "Ouvrir un JSON…", "JSON öffnen…", "Apri JSON…", "Abrir JSON…", "JSON 열기…"},
    {"新建", "新增", "New", "新規", "Nuevo", "Nouveau", "Neu", "Nuovo", "Novo", "새로 만들기"},
    {"另存为…", "另存新檔…", "Save As…", "別名で保存…", "Guardar como…", "Enregistrer sous…", "Sichern unter…", "Salva con nome…", "Salvar como…", "다른 이름으로 저장…"},
    {"打开最近使用", "開啟最近使用", "Open Recent", "最近使用した項目を開く", "Abrir reciente", "Ouvrir l'élément récent", "Zuletzt benutzte öffnen", "Apri recenti", "Abrir recente", "최근 항목 열기"},
    {"清除列表", "清除清單", "Clear List", "リストを消去", "Borrar lista", "Effacer la liste", "Liste löschen", "Cancella elenco", "Limpar lista", "목록 지우기"},
    {"撤销", "還原", "Undo", "取り消す", "Deshacer", "Annuler", "Widerrufen", "Annulla", "Desfazer", "실행 취소"},
    {"重做", "重做", "Redo", "やり直す", "Rehacer", "Rétablir", "Wiederholen", "Ripeti", "Refazer", "실행 복귀"},
    {"导出", "匯出", "Export", "書き出し", "Exportar", "Exporter", "Exportieren", "Esporta", "Exportar", "내보내기"},
    {"PNG 图片", "PNG 圖片", "PNG image", "PNG 画像", "Imagen PNG", "Image PNG", "PNG-Bild", "Immagine PNG", "Imagem PNG", "PNG 이미지"},
    {"JPG 图片", "JPG 圖片", "JPG image", "JPG 画像", "Imagen JPG", "Image JPG", "JPG-Bild", "Immagine JPG", "Imagem JPG", "JPG 이미지"},
    {"PDF 文档", "PDF 文件", "PDF document", "PDF 書類", "Documento PDF", "Document PDF", "PDF-Dokument", "Documento PDF", "Documento PDF", "PDF 문서"},
    {"Word 文档 (docx)", "Word 文件 (docx)", "Word document (docx)", "Word 書類 (docx)", "Documento Word (docx)", "Document Word (docx)", "Word-Dokument (docx)", "Documento Word (docx)", "Documento Word (docx)", "Word 문서 (docx)"},
    {"PPT 演示文稿 (pptx)", "PPT 簡報 (pptx)", "PowerPoint presentation (pptx)", "PowerPoint プレゼンテーション (pptx)", "Presentación PowerPoint (pptx)", "Présentation PowerPoint (pptx)", "PowerPoint-Präsentation (pptx)", "Presentazione PowerPoint (pptx)", "Apresentação PowerPoint (pptx)", "PowerPoint 프레젠테이션 (pptx)"},
    {"OpenDocument 演示文稿 (odp)", "OpenDocument 簡報 (odp)", "OpenDocument presentation (odp)", "OpenDocument プレゼンテーション (odp)", "Presentación OpenDocument (odp)", "Présentation OpenDocument (odp)", "OpenDocument-Präsentation (odp)", "Presentazione OpenDocument (odp)", "Apresentação OpenDocument (odp)", "OpenDocument 프레젠테이션 (odp)"},
    {"OpenDocument 文档 (odt)", "OpenDocument 文件 (odt)", "OpenDocument text (odt)", "OpenDocument テキスト (odt)", "Texto OpenDocument (odt)", "Texte OpenDocument (odt)", "OpenDocument-Text (odt)", "Testo OpenDocument (odt)", "Texto OpenDocument (odt)", "OpenDocument 텍스트 (odt)"},
    {"导入 PDF 手帐模板", "匯入 PDF 手帳範本", "Import PDF Template", "PDF テンプレートを読み込む", "Importar plantilla PDF", "Importer un modèle PDF", "PDF-Vorlage importieren", "Importa modello PDF", "Importar modelo PDF", "PDF 템플릿 가져오기"},
    {"编辑", "編輯", "Edit", "編集", "Edición", "Édition", "Bearbeiten", "Modifica", "Editar", "편집"},
    {"剪切", "剪下", "Cut", "切り取り", "Cortar", "Couper", "Ausschneiden", "Taglia", "Cortar", "오려두기"},
    {"拷贝", "拷貝", "Copy", "コピー", "Copiar", "Copier", "Kopieren", "Copia", "Copiar", "복사하기"},
    {"粘贴", "貼上", "Paste", "ペースト", "Pegar", "Coller", "Einsetzen", "Incolla", "Colar", "붙여넣기"},
    {"全选", "全選", "Select All", "すべて選択", "Seleccionar todo", "Tout sélectionner", "Alles auswählen", "Seleziona tutto", "Selecionar tudo", "모두 선택"},
    {"视图", "顯示方式", "View", "表示", "Visualización", "Présentation", "Darstellung", "Visualizza", "Visualizar", "보기"},
    {"显示 / 隐藏悬浮采集窗", "顯示 / 隱藏懸浮擷取視窗", "Show / Hide Floating Capture Window", "フローティング収集ウィンドウを表示 / 隠す", "Mostrar / ocultar ventana flotante", "Afficher / masquer la fenêtre flottante", "Schwebendes Sammelfenster ein-/ausblenden", "Mostra / nascondi finestra di raccolta flottante", "Mostrar / ocultar janela flutuante de coleta", "플로팅 수집 창 표시 / 숨기기"},
    {"适合内容", "符合內容", "Fit to content", "内容に合わせる", "Ajustar al contenido", "Ajuster au contenu", "An Inhalt anpassen", "Adatta al contenuto", "Ajustar ao conteúdo", "내용에 맞추기"},
    {"100%", "100%", "100 %", "100%", "100 %", "100 %", "100 %", "100 %", "100%", "100%"},
    {"缩放灵敏度", "縮放靈敏度", "Zoom Sensitivity", "ズーム感度", "Sensibilidad de zoom", "Sensibilité du zoom", "Zoom-Empfindlichkeit", "Sensibilità zoom", "Sensibilidade do zoom", "확대/축소 감도"},
    {"很慢", "很慢", "Very Slow", "とても遅い", "Muy lenta", "Très lente", "Sehr langsam", "Molto lenta", "Muito lenta", "매우 느리게"},
    {"柔和", "柔和", "Gentle", "やさしい", "Suave", "Douce", "Sanft", "Morbida", "Suave", "부드럽게"},
    {"标准", "標準", "Standard", "標準", "Estándar", "Standard", "Standard", "Standard", "Padrão", "표준"},
    {"快", "快", "Fast", "速い", "Rápida", "Rapide", "Schnell", "Veloce", "Rápida", "빠르게"},
    {"很快", "很快", "Very Fast", "とても速い", "Muy rápida", "Très rapide", "Sehr schnell", "Molto veloce", "Muito rápida", "매우 빠르게"},
    {"语言", "語言", "Language", "言語", "Idioma", "Langue", "Sprache", "Lingua", "Idioma", "언어"},
    {"跟随系统", "跟隨系統", "Follow System", "システムに従う", "Seguir el sistema", "Suivre le système", "Systemeinstellung folgen", "Segui il sistema", "Seguir o sistema", "시스템 따르기"},
    {"打开主窗口", "開啟主視窗", "Open Main Window", "メインウィンドウを開く", "Abrir ventana principal", "Ouvrir la fenêtre principale", "Hauptfenster öffnen", "Apri finestra principale", "Abrir janela principal", "메인 창 열기"},
    {"隐藏悬浮窗", "隱藏懸浮視窗", "Hide Floating Window", "フローティングウィンドウを隠す", "Ocultar ventana flotante", "Masquer la fenêtre flottante", "Schwebefenster ausblenden", "Nascondi finestra flottante", "Ocultar janela flutuante", "플로팅 창 숨기기"},
    {"好", "好", "OK", "OK", "OK", "OK", "OK", "OK", "OK", "확인"},
    {"确定", "確定", "OK", "OK", "Aceptar", "Valider", "OK", "OK", "OK", "확인"},
    {"取消", "取消", "Cancel", "キャンセル", "Cancelar", "Annuler", "Abbrechen", "Annulla", "Cancelar", "취소"},
    {"已采集 0 项", "已擷取 0 項", "0 items captured", "0 件収集済み", "0 elementos capturados", "0 élément capturé", "0 Elemente erfasst", "0 elementi raccolti", "0 itens coletados", "수집된 항목 0개"},
    {"已采集 {n} 项", "已擷取 {n} 項", "{n} items captured", "{n} 件収集済み", "{n} elementos capturados", "{n} éléments capturés", "{n} Elemente erfasst", "{n} elementi raccolti", "{n} itens coletados", "수집된 항목 {n}개"},
    {"清空肚内存", "清空肚內存", "Clear Tam's belly", "おなかの中身を空にする", "Vaciar la tripa de Tam", "Vider le ventre de Tam", "Tams Bauch leeren", "Svuota la pancia di Tam", "Esvaziar a barriga do Tam", "탐 배 비우기"},
    {"响应不是图片或超过 25MB", "回應不是圖片或超過 25MB", "Response is not an image or exceeds 25 MB", "応答が画像でないか、25MB を超えています", "La respuesta no es una imagen o supera 25 MB", "La réponse n'est pas une image ou dépasse 25 Mo", "Antwort ist kein Bild oder über 25 MB", "La risposta non è un'immagine o supera 25 MB", "A resposta não é uma imagem ou excede 25 MB", "응답이 이미지가 아니거나 25MB를 초과합니다"},
    {"跟随画布", "跟隨畫布", "Match canvas", "キャンバスに合わせる", "Igualar al lienzo", "Selon le canevas", "An Leinwand anpassen", "Come la tela", "Igualar à tela", "캔버스에 맞춤"},
    {"导出中…", "匯出中…", "Exporting…", "書き出し中…", "Exportando…", "Exportation…", "Export läuft…", "Esportazione…", "Exportando…", "내보내는 중…"},
    {"界面语言：{lang}", "介面語言：{lang}", "Interface language: {lang}", "表示言語：{lang}", "Idioma de la interfaz: {lang}", "Langue de l'interface : {lang}", "Oberflächensprache: {lang}", "Lingua dell'interfaccia: {lang}", "Idioma da interface: {lang}", "인터페이스 언어: {lang}"},
    {"随 macOS 语言自动匹配（默认）", "隨 macOS 語言自動匹配（預設）", "Match the macOS language automatically (default)", "macOS の言語に自動で合わせる（既定）", "Coincidir con el idioma de macOS (predeterminado)", "Suivre automatiquement la langue de macOS (par défaut)", "Automatisch der macOS-Sprache folgen (Standard)", "Segui automaticamente la lingua di macOS (predefinito)", "Seguir automaticamente o idioma do macOS (padrão)", "macOS 언어에 자동으로 맞춤 (기본값)"},
    {"关闭", "關閉", "Close", "閉じる", "Cerrar", "Fermer", "Schließen", "Chiudi", "Fechar", "닫기"},
    {"取消选中", "取消選取", "Deselect", "選択を解除", "Deseleccionar", "Désélectionner", "Auswahl aufheben", "Deseleziona", "Desselecionar", "선택 해제"},
    {"保存画布？", "儲存畫布？", "Save canvas?", "キャンバスを保存しますか？", "¿Guardar el lienzo?", "Enregistrer le canevas ?", "Leinwand sichern?", "Salvare la tela?", "Salvar a tela?", "캔버스를 저장할까요?"},
    {"画布还有未保存的内容，退出前要保存吗？", "畫布還有未儲存的內容，結束前要儲存嗎？", "The canvas has unsaved content. Save before quitting?", "未保存の内容があります。終了前に保存しますか？", "El lienzo tiene contenido sin guardar. ¿Guardar antes de salir?", "Le canevas contient du contenu non enregistré. L'enregistrer avant de quitter ?", "Die Leinwand enthält ungesicherte Inhalte. Vor dem Beenden sichern?", "La tela contiene contenuti non salvati. Salvarla prima di uscire?", "A tela tem conteúdo não salvo. Salvar antes de sair?", "저장하지 않은 내용이 있습니다. 종료 전에 저장할까요?"},
    {"保存", "儲存", "Save", "保存", "Guardar", "Enregistrer", "Sichern", "Salva", "Salvar", "저장"},
    {"不保存", "不儲存", "Don't Save", "保存しない", "No guardar", "Ne pas enregistrer", "Nicht sichern", "Non salvare", "Não salvar", "저장 안 함"},
    {"打开前保存画布？", "開啟前儲存畫布？", "Save canvas before opening?", "開く前にキャンバスを保存しますか？", "¿Guardar el lienzo antes de abrir?", "Enregistrer le canevas avant d'ouvrir ?", "Leinwand vor dem Öffnen sichern?", "Salvare la tela prima di aprire?", "Salvar a tela antes de abrir?", "열기 전에 캔버스를 저장할까요?"},
    {"画布还有未保存的内容，打开其他文件前要保存吗？", "畫布還有未儲存的內容，開啟其他檔案前要儲存嗎？", "The canvas has unsaved content. Save it before opening another file?", "未保存の内容があります。別のファイルを開く前に保存しますか？", "El lienzo tiene contenido sin guardar. ¿Guardarlo antes de abrir otro archivo?", "Le canevas contient du contenu non enregistré. L'enregistrer avant d'ouvrir un autre fichier ?", "Die Leinwand enthält ungesicherte Inhalte. Vor dem Öffnen einer anderen Datei sichern?", "La tela contiene contenuti non salvati. Salvarla prima di aprire un altro file?", "A tela tem conteúdo não salvo. Salvar antes de abrir outro arquivo?", "저장하지 않은 내용이 있습니다. 다른 파일을 열기 전에 저장할까요?"},
};

}  // namespace menu::l10n_data
// clang-format on
