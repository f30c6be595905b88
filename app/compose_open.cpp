// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/gtk_quit_alert.h"
#include "app/open_files.h"
#include "app/parts.h"
#include "files/save_then.h"
#include "gobj/connect.h"
#include "menu/l10n.h"

namespace app {

OpenPart composeOpen(GtkApplication* app, WebKitWebView* webView, const std::shared_ptr<bridge::Bridge>& page,
                     std::shared_ptr<files::SaveThen> saves, std::shared_ptr<files::DocumentFile> document,
                     common::Workers& workers) {
    OpenPart part;
    if (!webView || !page) return part;
    OpenFiles::Deps deps{
        page,
        page,
        std::make_shared<GtkQuitAlert>(app),
        [](const std::string& key) { return menu::L10N::t(key); },
        [weak = std::weak_ptr(saves)](std::function<void(bool)> written) {
            auto s = weak.lock();
            if (!s) return written(false);
            s->saveThen([written = std::move(written)](files::SaveReason reason) {
                written(reason == files::SaveReason::Written);
            });
        },
        std::move(document),
        [&workers](std::function<files::OpenedFile()> read, std::function<void(files::OpenedFile)> done) {
            workers.run(std::move(read), std::move(done));
        },
    };
    part.files = std::make_shared<OpenFiles>(std::move(deps));
    // The page's functions exist once its load has finished, after its own start (and any
    // recovery copy it offers), so an opened board comes last and wins.
    part.loadChanged =
        gobj::connect<WebKitWebView, WebKitLoadEvent>(webView, "load-changed", std::weak_ptr(part.files),
                                                      [](OpenFiles& opener, WebKitWebView*, WebKitLoadEvent event) {
                                                          if (event == WEBKIT_LOAD_STARTED) opener.setPageReady(false);
                                                          if (event == WEBKIT_LOAD_FINISHED) opener.setPageReady(true);
                                                      });
    if (!webkit_web_view_is_loading(webView) && webkit_web_view_get_uri(webView)) part.files->setPageReady(true);
    return part;
}

}  // namespace app
