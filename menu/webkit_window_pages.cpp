// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/webkit_window_pages.h"

#include "menu/gtk_menu_bar.h"

namespace menu {
namespace {

// Whether the page's keyboard focus is in a text field, where undo is the field's own.
constexpr const char* kTypingInField =
    "(() => { const e = document.activeElement;"
    " return !!e && (e.isContentEditable || ['INPUT', 'TEXTAREA', 'SELECT'].includes(e.tagName)); })()";

}  // namespace

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

void WebkitWindowPages::historyStep(History step, const std::string& pageCall) {
    auto page = mainPage_.lock();
    if (!page) return evaluateInEveryWindow(pageCall);
    auto weakView = std::make_shared<gobj::Weak<WebKitWebView>>(mainView_.lock().get());
    page->callThen(kTypingInField, [weakView, weakPage = mainPage_, step, pageCall](std::optional<bool> typing) {
        auto view = weakView->lock();
        if (typing == std::optional<bool>(true)) {
            if (view)
                webkit_web_view_execute_editing_command(
                    view.get(), step == History::Undo ? WEBKIT_EDITING_COMMAND_UNDO : WEBKIT_EDITING_COMMAND_REDO);
            return;
        }
        if (auto p = weakPage.lock()) p->pushScript(pageCall);
    });
}

}  // namespace menu
