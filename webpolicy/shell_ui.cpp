#include "webpolicy/shell_ui.h"

namespace webpolicy {

AlertSpec ShellUI::build(ScriptDialogKind kind, const std::string& message,
                         const std::optional<std::string>& defaultText) const {
    AlertSpec spec;
    spec.message = message;
    switch (kind) {
        case ScriptDialogKind::Alert:
            spec.buttons = {t_("好")};
            break;
        case ScriptDialogKind::Confirm:
            spec.buttons = {t_("确定"), t_("取消")};
            break;
        case ScriptDialogKind::Prompt:
            spec.buttons = {t_("确定"), t_("取消")};
            spec.field = defaultText.value_or("");
            break;
    }
    return spec;
}

ShellUI::Answer ShellUI::answer(ScriptDialogKind kind, std::size_t button, const std::string& fieldText) {
    Answer a;
    a.confirmed = button == 0;
    if (kind == ScriptDialogKind::Prompt && button == 0) a.text = fieldText;
    return a;
}

}  // namespace webpolicy
