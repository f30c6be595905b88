// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/gtk_quit_alert.h"

#include "bridge/gtk_parent_window.h"
#include "webpolicy/gtk_alert.h"

namespace app {

void GtkQuitAlert::show(const webpolicy::AlertContent& content, std::function<void(std::size_t button)> answer) {
    GtkWindow* parent = bridge::findParentWindow(app_);
    if (parent) gtk_window_present(parent);
    GtkWindow* dialog = webpolicy::showAlert(
        parent, content, [answer = std::move(answer)](std::size_t button, std::string) { answer(button); });
    shown_.set(dialog);
}

void GtkQuitAlert::dismiss() {
    auto dialog = shown_.lock();
    shown_.set(nullptr);
    if (dialog) gtk_window_destroy(dialog.get());
}

}  // namespace app
