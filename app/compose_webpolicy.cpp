#include <memory>

#include "app/app_delegate.h"
#include "webpolicy/webkit_nav_guard.h"
#include "webpolicy/webkit_shell_ui.h"

namespace app {

void composeWebPolicy(AppDelegate& app) {
    WebKitWebView* view = app.webView();
    if (!view) return;
    app.keep(std::make_shared<webpolicy::WebkitNavGuard>(view, webpolicy::NavGuard(app.options().resourcesDir),
                                                         app.desktop()));
    // Identity until the interface-language table is wired in.
    webpolicy::Translate t = [](const std::string& key) { return key; };
    app.keep(std::make_shared<webpolicy::WebkitShellUI>(view, webpolicy::ShellUI(std::move(t))));
}

}  // namespace app
