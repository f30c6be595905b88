// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/webkit_window_pages.h"

#include "menu/gtk_menu_bar.h"

namespace menu {

void WebkitWindowPages::evaluateInEveryWindow(const std::string& script) {
    auto main = mainView_.lock();
    for (GList* l = gtk_application_get_windows(app_); l; l = l->next) {
        GtkWidget* view = webViewOfWindow(GTK_WINDOW(l->data));
        if (!view) continue;
        if (main && view == GTK_WIDGET(main.get())) {
            if (auto page = mainPage_.lock()) page->pushScript(script);
            continue;
        }
        webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view), script.c_str(), -1, nullptr, nullptr, nullptr,
                                            nullptr, nullptr);
    }
}

}  // namespace menu
