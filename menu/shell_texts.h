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
};

}  // namespace menu::l10n_data
// clang-format on
