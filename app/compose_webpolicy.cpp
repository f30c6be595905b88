#include <memory>

#include "app/app_delegate.h"
#include "menu/l10n.h"
#include "webpolicy/webkit_nav_guard.h"
#include "webpolicy/webkit_shell_ui.h"

namespace app {

void composeWebPolicy(AppDelegate& app) {
    WebKitWebView* view = app.webView();
    if (!view) return;
    app.keep(std::make_shared<webpolicy::WebkitNavGuard>(view, webpolicy::NavGuard(app.options().resourcesDir),
                                                         app.desktop()));
    webpolicy::Translate t = [](const std::string& key) { return menu::L10N::t(key); };
    app.keep(std::make_shared<webpolicy::WebkitShellUI>(view, webpolicy::ShellUI(std::move(t))));
}

}  // namespace app
