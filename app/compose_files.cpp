// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/parts.h"
#include "files/file_exchange.h"
#include "files/save_then.h"
#include "gobj/connect.h"

namespace app {

FilesPart composeFiles(std::shared_ptr<files::Panels> panels, const std::shared_ptr<bridge::Bridge>& bridge,
                       WebKitWebView* webView, common::Desktop& desktop, common::Workers& workers,
                       std::function<std::shared_ptr<void>()> holdQuit, const std::shared_ptr<files::SaveThen>& saves,
                       std::shared_ptr<files::DocumentFile> document) {
    FilesPart part;
    part.exchange = std::make_shared<files::FileExchange>(std::move(panels), std::weak_ptr<bridge::PageSink>(bridge),
                                                          desktop, workers);
    part.exchange->setQuitHold(std::move(holdQuit));
    if (document) part.exchange->setDocument(std::move(document));
    if (saves) {
        part.exchange->setSaveStartObserver([weak = std::weak_ptr(saves)](const std::string& action) {
            if (auto s = weak.lock()) s->started(action);
        });
        part.exchange->setSaveObserver([weak = std::weak_ptr(saves)](const files::SaveOutcome& outcome) {
            if (auto s = weak.lock()) s->ended(outcome);
        });
    }
    bridge::addFileCommands(bridge->commands(), part.exchange);
    if (webView) {
        std::weak_ptr<files::FileExchange> weak = part.exchange;
        part.loadChanged = gobj::connect<WebKitWebView, WebKitLoadEvent>(
            webView, "load-changed", weak, [](files::FileExchange& f, WebKitWebView*, WebKitLoadEvent event) {
                if (event == WEBKIT_LOAD_COMMITTED) f.pageGone();
            });
        part.terminated = gobj::connect<WebKitWebView, WebKitWebProcessTerminationReason>(
            webView, "web-process-terminated", weak,
            [](files::FileExchange& f, WebKitWebView*, WebKitWebProcessTerminationReason) { f.pageGone(); });
    }
    return part;
}

}  // namespace app
