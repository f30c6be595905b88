// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <memory>

#include "bridge/page_sink.h"
#include "gobj/handles.h"
#include "menu/window_pages.h"

namespace menu {

// The web view of each of the application's windows (webViewOfWindow), in the application's
// window order, most recently focused first. The main page is reached through its page sink, in
// order with every other Part's calls; another window's page directly.
class WebkitWindowPages final : public WindowPages {
public:
    WebkitWindowPages(GtkApplication* app, WebKitWebView* mainView, std::weak_ptr<bridge::PageSink> mainPage)
        : app_(app), mainView_(mainView), mainPage_(std::move(mainPage)) {}
    void evaluateInEveryWindow(const std::string& script) override;
    void historyStep(History step, const std::string& pageCall) override;

private:
    GtkApplication* app_;  // outlives every Part
    gobj::Weak<WebKitWebView> mainView_;
    std::weak_ptr<bridge::PageSink> mainPage_;
};

}  // namespace menu
