// SPDX-License-Identifier: GPL-3.0-or-later
#include "webpolicy/webkit_shell_ui.h"

#include "webpolicy/gtk_alert.h"

namespace webpolicy {
namespace {
constexpr const char* kPageDialogTag = "tavrik-page-dialog";
}  // namespace

GtkWindow* openPageDialog() {
    GListModel* toplevels = gtk_window_get_toplevels();
    for (guint i = 0; i < g_list_model_get_n_items(toplevels); ++i) {
        auto window = gobj::adopt(static_cast<GtkWindow*>(g_list_model_get_item(toplevels, i)));
        if (g_object_get_data(G_OBJECT(window.get()), kPageDialogTag) &&
            gtk_widget_get_visible(GTK_WIDGET(window.get())))
            return window.get();  // the toplevel list keeps it
    }
    return nullptr;
}

WebkitShellUI::WebkitShellUI(WebKitWebView* view, ShellUI ui)
    : ui_(std::move(ui)),
      scriptDialog_(view, g_signal_connect(view, "script-dialog", G_CALLBACK(onScriptDialog), this)) {}

gboolean WebkitShellUI::onScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog, gpointer self) noexcept {
    return static_cast<WebkitShellUI*>(self)->show(view, dialog) ? TRUE : FALSE;
}

bool WebkitShellUI::show(WebKitWebView* view, WebKitScriptDialog* dialog) {
    ScriptDialogKind kind;
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
        case WEBKIT_SCRIPT_DIALOG_ALERT:
            kind = ScriptDialogKind::Alert;
            break;
        case WEBKIT_SCRIPT_DIALOG_CONFIRM:
            kind = ScriptDialogKind::Confirm;
            break;
        case WEBKIT_SCRIPT_DIALOG_PROMPT:
            kind = ScriptDialogKind::Prompt;
            break;
        default:
            return false;
    }
    const char* message = webkit_script_dialog_get_message(dialog);
    std::optional<std::string> defaultText;
    if (kind == ScriptDialogKind::Prompt)
        if (const char* d = webkit_script_dialog_prompt_get_default_text(dialog)) defaultText = d;

    GtkRoot* root = gtk_widget_get_root(GTK_WIDGET(view));
    GtkWindow* parent = root && GTK_IS_WINDOW(root) ? GTK_WINDOW(root) : nullptr;

    // WebKit lets the page wait for a dialog answered later, as long as we hold it and close it.
    webkit_script_dialog_ref(dialog);
    GtkWindow* alert =
        showAlert(parent, ui_.build(kind, message ? message : "", defaultText),
                  [dialog, kind](std::size_t button, std::string fieldText) {
                      ShellUI::Answer answer = ShellUI::answer(kind, button, fieldText);
                      if (kind == ScriptDialogKind::Confirm)
                          webkit_script_dialog_confirm_set_confirmed(dialog, answer.confirmed ? TRUE : FALSE);
                      if (kind == ScriptDialogKind::Prompt && answer.text)
                          webkit_script_dialog_prompt_set_text(dialog, answer.text->c_str());
                      webkit_script_dialog_close(dialog);
                      webkit_script_dialog_unref(dialog);
                  });
    g_object_set_data(G_OBJECT(alert), kPageDialogTag, GINT_TO_POINTER(1));
    return true;
}

}  // namespace webpolicy
