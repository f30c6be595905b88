// SPDX-License-Identifier: GPL-3.0-or-later
// The shell's own texts that are not in the menu's sheet: its alerts and messages. Keyed, like
// the sheet, by the Simplified Chinese text; L10N::t finds them the same way.
// Each row: the Simplified Chinese key, then zh-Hant, en, ja, es, fr, de, it, pt, ko.
// clang-format off
#pragma once

namespace menu::l10n_data {

inline constexpr const char* kShellRows[][10] = {
    {"画板没有响应", "畫板沒有回應", "The board is not responding", "ボードが応答していません", "El tablero no responde", "Le tableau ne répond pas", "Das Board reagiert nicht", "La lavagna non risponde", "O quadro não está respondendo", "보드가 응답하지 않습니다"},
    {"可以继续等待，或者立即退出并丢失未保存的内容。", "可以繼續等待，或者立即結束並捨棄未儲存的內容。", "You can wait for it, or quit now and lose unsaved changes.", "このまま待つか、今すぐ終了して未保存の内容を破棄できます。", "Puede esperar o salir ahora y perder los cambios sin guardar.", "Vous pouvez attendre, ou quitter maintenant et perdre les modifications non enregistrées.", "Sie können warten oder jetzt beenden und ungesicherte Änderungen verlieren.", "Puoi attendere, oppure uscire ora e perdere le modifiche non salvate.", "Você pode aguardar ou sair agora e perder as alterações não salvas.", "기다리거나, 지금 종료하고 저장하지 않은 내용을 버릴 수 있습니다."},
    {"等待", "等待", "Wait", "待つ", "Esperar", "Attendre", "Warten", "Attendi", "Aguardar", "기다리기"},
    {"仍然退出", "仍然結束", "Quit anyway", "強制終了", "Salir de todos modos", "Quitter quand même", "Trotzdem beenden", "Esci comunque", "Sair mesmo assim", "그래도 종료"},
    {"画板意外停止", "畫板意外停止", "The board stopped unexpectedly", "ボードが予期せず停止しました", "El tablero se detuvo inesperadamente", "Le tableau s'est arrêté de manière inattendue", "Das Board wurde unerwartet beendet", "La lavagna si è interrotta inaspettatamente", "O quadro parou inesperadamente", "보드가 예기치 않게 중지되었습니다"},
    {"重新载入后可以恢复最近的内容。", "重新載入後可以復原最近的內容。", "Reload to get back your latest work from its recovery copy.", "再読み込みすると、復元用のコピーから最新の内容を取り戻せます。", "Recargue para recuperar su trabajo más reciente desde la copia de recuperación.", "Rechargez pour retrouver votre dernier travail depuis sa copie de récupération.", "Laden Sie neu, um Ihre letzte Arbeit aus der Wiederherstellungskopie zurückzuholen.", "Ricarica per recuperare il lavoro più recente dalla copia di ripristino.", "Recarregue para recuperar seu trabalho mais recente da cópia de recuperação.", "다시 불러오면 복구 사본에서 최근 작업을 되찾을 수 있습니다."},
    {"画板无法显示", "畫板無法顯示", "The board cannot be shown", "ボードを表示できません", "No se puede mostrar el tablero", "Impossible d'afficher le tableau", "Das Board kann nicht angezeigt werden", "Impossibile mostrare la lavagna", "Não é possível mostrar o quadro", "보드를 표시할 수 없습니다"},
    {"重新载入", "重新載入", "Reload", "再読み込み", "Recargar", "Recharger", "Neu laden", "Ricarica", "Recarregar", "다시 불러오기"},
    // Accessible names of the window's own widgets, so a screen reader does not hear class names.
    {"TAVRIK 画板", "TAVRIK 畫板", "TAVRIK board", "TAVRIK ボード", "Tablero de TAVRIK", "Tableau TAVRIK", "TAVRIK-Board", "Lavagna di TAVRIK", "Quadro do TAVRIK", "TAVRIK 보드"},
    {"拖放区域", "拖放區域", "Drop area", "ドロップ領域", "Zona para soltar", "Zone de dépôt", "Ablagebereich", "Area di rilascio", "Área para soltar", "놓기 영역"},
    {"菜单栏", "選單列", "Menu bar", "メニューバー", "Barra de menús", "Barre des menus", "Menüleiste", "Barra dei menu", "Barra de menus", "메뉴 막대"},
    // Asked before File ▸ New replaces a board with unsaved changes.
    {"新建前保存画布？", "新增前儲存畫布？", "Save canvas before starting a new one?", "新規作成の前にキャンバスを保存しますか？", "¿Guardar el lienzo antes de crear uno nuevo?", "Enregistrer le canevas avant d'en créer un nouveau ?", "Leinwand vor dem Anlegen einer neuen sichern?", "Salvare la tela prima di crearne una nuova?", "Salvar a tela antes de criar uma nova?", "새로 만들기 전에 캔버스를 저장할까요?"},
    {"画布还有未保存的内容，新建画布前要保存吗？", "畫布還有未儲存的內容，新增畫布前要儲存嗎？", "The canvas has unsaved content. Save it before starting a new canvas?", "未保存の内容があります。新しいキャンバスを作成する前に保存しますか？", "El lienzo tiene contenido sin guardar. ¿Guardarlo antes de crear uno nuevo?", "Le canevas contient du contenu non enregistré. L'enregistrer avant d'en créer un nouveau ?", "Die Leinwand enthält ungesicherte Inhalte. Vor dem Anlegen einer neuen sichern?", "La tela contiene contenuti non salvati. Salvarla prima di crearne una nuova?", "A tela tem conteúdo não salvo. Salvar antes de criar uma nova?", "저장하지 않은 내용이 있습니다. 새 캔버스를 만들기 전에 저장할까요?"},
    {"退出", "結束", "Quit", "終了", "Salir", "Quitter", "Beenden", "Esci", "Sair", "종료"},
    // The question asked before a stored key goes to a host it is not meant for.
    {"要把密钥“{key}”发送到 {host} 吗？", "要把金鑰「{key}」傳送到 {host} 嗎？", "Send the key \"{key}\" to {host}?", "キー「{key}」を {host} に送信しますか？", "¿Enviar la clave «{key}» a {host}?", "Envoyer la clé « {key} » à {host} ?", "Den Schlüssel „{key}“ an {host} senden?", "Inviare la chiave «{key}» a {host}?", "Enviar a chave \"{key}\" para {host}?", "키 \"{key}\"을(를) {host}(으)로 보낼까요?"},
    {"这个密钥只用于 {hosts}。只有信任这个主机时才允许。", "這個金鑰只用於 {hosts}。只有信任這個主機時才允許。", "This key is meant for {hosts}. Allow it only if you trust this host.", "このキーは {hosts} 用です。このホストを信頼できる場合のみ許可してください。", "Esta clave es para {hosts}. Permítalo solo si confía en este servidor.", "Cette clé est destinée à {hosts}. N'autorisez l'envoi que si vous faites confiance à cet hôte.", "Dieser Schlüssel ist für {hosts} bestimmt. Erlauben Sie es nur, wenn Sie diesem Host vertrauen.", "Questa chiave è destinata a {hosts}. Consentilo solo se ti fidi di questo host.", "Esta chave é destinada a {hosts}. Permita apenas se você confia neste host.", "이 키는 {hosts}용입니다. 이 호스트를 신뢰하는 경우에만 허용하세요."},
    {"允许一次", "允許一次", "Allow once", "今回のみ許可", "Permitir una vez", "Autoriser une fois", "Einmal erlauben", "Consenti una volta", "Permitir uma vez", "한 번 허용"},
    {"始终允许", "一律允許", "Always allow", "常に許可", "Permitir siempre", "Toujours autoriser", "Immer erlauben", "Consenti sempre", "Sempre permitir", "항상 허용"},
    {"不允许", "不允許", "Don't allow", "許可しない", "No permitir", "Ne pas autoriser", "Nicht erlauben", "Non consentire", "Não permitir", "허용 안 함"},
};

}  // namespace menu::l10n_data
// clang-format on
