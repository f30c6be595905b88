// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <gtk/gtk.h>

#include "app/quit_confirmation.h"
#include "gobj/handles.h"

namespace app {

// The quit alerts as message dialogs, modal to the main window, which is brought to the front first.
class GtkQuitAlert final : public QuitAlert {
public:
    explicit GtkQuitAlert(GtkApplication* app) : app_(app) {}
    void show(const webpolicy::AlertContent& content, std::function<void(std::size_t button)> answer) override;
    void dismiss() override;

private:
    GtkApplication* app_;          // outlives every Part
    gobj::Weak<GtkWindow> shown_;  // the alert shown last, while it is open
};

}  // namespace app
