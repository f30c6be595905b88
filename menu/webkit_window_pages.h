#pragma once
#include <gtk/gtk.h>

#include "menu/window_pages.h"

namespace menu {

// The web view of each of the application's windows (webViewOfWindow), in the application's
// window order, most recently focused first.
class WebkitWindowPages final : public WindowPages {
public:
    explicit WebkitWindowPages(GtkApplication* app) : app_(app) {}
    void evaluateInEveryWindow(const std::string& script) override;

private:
    GtkApplication* app_;  // outlives every Part
};

}  // namespace menu
