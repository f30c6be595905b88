#pragma once
#include <gtk/gtk.h>

#include "app/quit_confirmation.h"

namespace app {

// The quit alert as a message dialog, modal to the main window, which is brought to the front first.
class GtkQuitAlert final : public QuitAlert {
public:
    explicit GtkQuitAlert(GtkApplication* app) : app_(app) {}
    void show(const webpolicy::AlertContent& content, std::function<void(std::size_t button)> answer) override;

private:
    GtkApplication* app_;  // outlives every Part
};

}  // namespace app
