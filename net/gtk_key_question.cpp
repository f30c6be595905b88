// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/gtk_key_question.h"

#include <memory>

#include "bridge/gtk_parent_window.h"
#include "gobj/connect.h"

namespace net {
namespace {

constexpr KeyAnswer kButtons[] = {KeyAnswer::AllowOnce, KeyAnswer::AlwaysAllow, KeyAnswer::DontAllow};

// Lives as long as the dialog's response handler, so a question destroyed unanswered still answers:
// Don't allow.
struct Pending {
    std::function<void(KeyAnswer)> answer;
    void settle(KeyAnswer a) {
        if (!answer) return;
        auto once = std::move(answer);
        answer = nullptr;
        once(a);
    }
    ~Pending() { settle(KeyAnswer::DontAllow); }
};

void onResponse(Pending* pending, GtkDialog* dialog, int response) {
    // Escape and the window manager's close answer GTK_RESPONSE_DELETE_EVENT: Don't allow.
    pending->settle(response >= 0 && response < 3 ? kButtons[response] : KeyAnswer::DontAllow);
    gtk_window_destroy(GTK_WINDOW(dialog));
}

}  // namespace

void GtkKeyQuestion::ask(const KeyQuestionText& text, std::function<void(KeyAnswer)> answer) {
    GtkWindow* parent = bridge::findParentWindow(app_);
    if (parent) gtk_window_present(parent);
    // The key id is the page's text: shown as it is, never as markup.
    auto* dialog = GTK_WINDOW(g_object_new(GTK_TYPE_MESSAGE_DIALOG, "message-type", GTK_MESSAGE_WARNING, "buttons",
                                           GTK_BUTTONS_NONE, "text", text.message.c_str(), "use-markup", FALSE, "modal",
                                           TRUE, "destroy-with-parent", TRUE, "title", text.message.c_str(), nullptr));
    if (parent) gtk_window_set_transient_for(dialog, parent);
    if (!text.detail.empty())
        g_object_set(dialog, "secondary-text", text.detail.c_str(), "secondary-use-markup", FALSE, nullptr);
    const std::string* labels[] = {&text.allowOnce, &text.alwaysAllow, &text.dontAllow};
    for (int i = 0; i < 3; ++i) {
        GtkWidget* button = gtk_dialog_add_button(GTK_DIALOG(dialog), labels[i]->c_str(), i);
        gtk_button_set_use_underline(GTK_BUTTON(button), FALSE);  // a label's "_" is not a mnemonic
    }
    // Return presses Don't allow: a key leaves only on a deliberate choice.
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), 2);
    std::shared_ptr<Pending> pending(new Pending{std::move(answer)});
    gobj::connectForLife<GtkDialog, int>(GTK_DIALOG(dialog), "response", [pending](GtkDialog* d, int response) {
        onResponse(pending.get(), d, response);
    });
    shown_.set(dialog);
    gtk_window_present(dialog);
    if (GtkWidget* deny = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), 2)) gtk_widget_grab_focus(deny);
}

void GtkKeyQuestion::dismiss() {
    auto dialog = shown_.lock();
    shown_.set(nullptr);
    if (dialog) gtk_window_destroy(dialog.get());
}

}  // namespace net
