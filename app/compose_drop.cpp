// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/parts.h"
#include "common/log.h"
#include "gobj/handles.h"

namespace app {

namespace {

// A new document starts with file lists left to the web view until it asks again, so a page
// that never asks sees the drops of the plain contract even after another page did.
void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer view) noexcept {
    if (event == WEBKIT_LOAD_COMMITTED)
        drop::dragCatchViewSetFileLists(TAVRIK_DRAG_CATCH_VIEW(view), drop::FileLists::LeftToWebView);
}

}  // namespace

void composeDrop(TavrikDragCatchView* view, WebKitWebView* webView, const std::shared_ptr<bridge::Bridge>& bridge,
                 common::Desktop& desktop) {
    drop::dragCatchViewSetBeep(view, [&desktop] { desktop.beep(); });
    drop::dragCatchViewSetOnFiles(view, [weak = std::weak_ptr(bridge)](json::Value drop) {
        if (auto b = weak.lock()) b->sendFileDrop(std::move(drop));
    });
    // Ends with the view: the connection goes when either object does.
    g_signal_connect_object(webView, "load-changed", G_CALLBACK(onLoadChanged), view, GConnectFlags(0));
    // The page's word that it defines __fileDrop. It gains nothing but the files the user drops.
    bridge->commands().add({"acceptFileDrops",
                            {},
                            [weakView = std::make_shared<gobj::Weak<TavrikDragCatchView>>(view)](const bridge::Args&) {
                                if (auto v = weakView->lock()) {
                                    common::log::debug("drop: the page takes dropped file lists");
                                    drop::dragCatchViewSetFileLists(v.get(), drop::FileLists::Taken);
                                }
                            }});
}

}  // namespace app
