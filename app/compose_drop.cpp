// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/parts.h"
#include "common/data_url.h"
#include "common/limits.h"
#include "common/log.h"
#include "drop/gtk_clipboard_image.h"
#include "gobj/handles.h"

namespace app {

namespace {

// A new document starts with drags left to the web view and plain pastes until it asks again, so
// a page that never asks sees the drops and pastes of the plain contract even after another page did.
void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer view) noexcept {
    if (event != WEBKIT_LOAD_COMMITTED) return;
    drop::dragCatchViewSetPageDrops(TAVRIK_DRAG_CATCH_VIEW(view), drop::PageDrops::LeftToWebView);
    drop::dragCatchViewSetPasteItems(TAVRIK_DRAG_CATCH_VIEW(view), drop::PasteItems::Off);
}

using WeakCatchView = std::shared_ptr<gobj::Weak<TavrikDragCatchView>>;

// "copyImage {dataUrl[, html, text]}": the picture on the clipboard for other applications, with
// the page's HTML and text for it. The page posts it after its own copy has been written, which
// it replaces; a picture that cannot be decoded leaves that copy in place.
void copyImage(const WeakCatchView& weakView, const bridge::Args& args) {
    auto view = weakView->lock();
    if (!view) return;
    std::optional<common::Bytes> image = common::dataurl::decodeValue(args.value("dataUrl"));
    if (!image || image->empty() || image->size() > common::kPageFileLimit) {
        common::log::warning("copy: the picture to copy is not a data URL the shell takes");
        return;
    }
    drop::copyImageToClipboard(gtk_widget_get_clipboard(GTK_WIDGET(view.get())), *image, args.strOr("html", ""),
                               args.strOr("text", ""));
}

}  // namespace

void composeDrop(TavrikDragCatchView* view, WebKitWebView* webView, const std::shared_ptr<bridge::Bridge>& bridge,
                 common::Desktop& desktop) {
    drop::dragCatchViewSetBeep(view, [&desktop] { desktop.beep(); });
    drop::dragCatchViewSetOnFiles(view, [weak = std::weak_ptr(bridge)](json::Value drop) {
        if (auto b = weak.lock()) b->sendFileDrop(std::move(drop));
    });
    // The paste event follows once the page has run __pasteItems, so that it knows what came.
    drop::dragCatchViewSetOnPaste(view, [weak = std::weak_ptr(bridge)](json::Value paste, std::function<void()> then) {
        auto b = weak.lock();
        if (!b) return then();
        b->callGuarded("__pasteItems", std::move(paste));
        b->callThen("true", [then = std::move(then)](std::optional<bool>) { then(); });
    });
    // Ends with the view: the connection goes when either object does.
    g_signal_connect_object(webView, "load-changed", G_CALLBACK(onLoadChanged), view, GConnectFlags(0));
    auto weakView = std::make_shared<gobj::Weak<TavrikDragCatchView>>(view);
    // The page's word that it defines __fileDrop. It gains nothing but what the user drops.
    bridge->commands().add({"acceptFileDrops", {}, [weakView](const bridge::Args&) {
                                if (auto v = weakView->lock()) {
                                    common::log::debug("drop: the page takes dropped files, links and text");
                                    drop::dragCatchViewSetPageDrops(v.get(), drop::PageDrops::Taken);
                                }
                            }});
    // The page's word that it defines __pasteItems. It gains nothing but what the user pastes.
    bridge->commands().add({"acceptPasteItems", {}, [weakView](const bridge::Args&) {
                                if (auto v = weakView->lock()) {
                                    common::log::debug("drop: the page takes pasted files and pictures");
                                    drop::dragCatchViewSetPasteItems(v.get(), drop::PasteItems::Taken);
                                }
                            }});
    bridge->commands().add({"copyImage",
                            {{"dataUrl", bridge::FieldKind::String}},
                            [weakView](const bridge::Args& args) { copyImage(weakView, args); }});
}

}  // namespace app
