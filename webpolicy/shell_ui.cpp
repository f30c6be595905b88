// SPDX-License-Identifier: GPL-3.0-or-later
#include "webpolicy/shell_ui.h"

namespace webpolicy {

AlertContent ShellUI::build(ScriptDialogKind kind, const std::string& message,
                            const std::optional<std::string>& defaultText) const {
    AlertContent content;
    content.message = message;
    switch (kind) {
        case ScriptDialogKind::Alert:
            content.buttons = {t_("好")};
            break;
        case ScriptDialogKind::Confirm:
            content.buttons = {t_("确定"), t_("取消")};
            break;
        case ScriptDialogKind::Prompt:
            content.buttons = {t_("确定"), t_("取消")};
            content.field = defaultText.value_or("");
            break;
    }
    return content;
}

ShellUI::Answer ShellUI::answer(ScriptDialogKind kind, std::size_t button, const std::string& fieldText) {
    Answer a;
    a.confirmed = button == 0;
    if (kind == ScriptDialogKind::Prompt && button == 0) a.text = fieldText;
    return a;
}

}  // namespace webpolicy
