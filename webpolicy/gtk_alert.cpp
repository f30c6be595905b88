// SPDX-License-Identifier: GPL-3.0-or-later
#include "webpolicy/gtk_alert.h"

#include <memory>

#include "gobj/connect.h"

namespace webpolicy {
namespace {

// Lives as long as the dialog's response handler, so an alert destroyed unanswered still answers.
struct Pending {
    AlertAnswer answer;
    std::size_t buttons = 0;
    GtkEditable* field = nullptr;
    std::optional<std::size_t> closeAnswer;

    std::size_t closed() const { return closeAnswer.value_or(buttons ? buttons - 1 : 0); }
    void settle(std::size_t button, std::string text) {
        if (!answer) return;
        AlertAnswer once = std::move(answer);
        answer = nullptr;
        once(button, std::move(text));
    }
    ~Pending() { settle(closed(), {}); }
};

void onResponse(Pending& pending, GtkDialog* dialog, int response) {
    std::size_t button = response >= 0 && static_cast<std::size_t>(response) < pending.buttons
                             ? static_cast<std::size_t>(response)
                             : pending.closed();
    std::string text = pending.field ? gtk_editable_get_text(pending.field) : "";
    pending.settle(button, std::move(text));
    gtk_window_destroy(GTK_WINDOW(dialog));
}

}  // namespace

GtkWindow* showAlert(GtkWindow* parent, const AlertContent& content, AlertAnswer answer) {
    // The page's text is shown as it is: never as markup.
    auto* dialog = GTK_WINDOW(g_object_new(GTK_TYPE_MESSAGE_DIALOG, "message-type",
                                           content.warning ? GTK_MESSAGE_WARNING : GTK_MESSAGE_OTHER, "buttons",
                                           GTK_BUTTONS_NONE, "text", content.message.c_str(), "use-markup", FALSE,
                                           "modal", TRUE, "destroy-with-parent", TRUE, nullptr));
    if (parent) gtk_window_set_transient_for(dialog, parent);
    if (!content.detail.empty())
        g_object_set(dialog, "secondary-text", content.detail.c_str(), "secondary-use-markup", FALSE, nullptr);

    std::shared_ptr<Pending> pending(
        new Pending{std::move(answer), content.buttons.size(), nullptr, content.closeAnswer});
    for (std::size_t i = 0; i < content.buttons.size(); ++i)
        gtk_dialog_add_button(GTK_DIALOG(dialog), content.buttons[i].c_str(), static_cast<int>(i));
    if (!content.buttons.empty()) gtk_dialog_set_default_response(GTK_DIALOG(dialog), 0);

    if (content.field) {
        GtkWidget* entry = gtk_entry_new();
        gtk_widget_set_size_request(entry, 240, 24);
        gtk_editable_set_text(GTK_EDITABLE(entry), content.field->c_str());
        gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
        gtk_box_append(GTK_BOX(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog))), entry);
        pending->field = GTK_EDITABLE(entry);
        gtk_window_set_focus(dialog, entry);
    }
    gobj::connectForLife<GtkDialog, int>(GTK_DIALOG(dialog), "response",
                                         [pending](GtkDialog* d, int response) { onResponse(*pending, d, response); });
    gtk_window_present(dialog);
    if (pending->field) gtk_widget_grab_focus(GTK_WIDGET(pending->field));
    return dialog;
}

}  // namespace webpolicy
