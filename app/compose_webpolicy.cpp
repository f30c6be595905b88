// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>

#include "app/parts.h"
#include "menu/l10n.h"
#include "webpolicy/webkit_nav_guard.h"
#include "webpolicy/webkit_shell_ui.h"

namespace app {

WebPolicyPart composeWebPolicy(WebKitWebView* view, const std::string& resourcesDir, common::Desktop& desktop) {
    WebPolicyPart part;
    if (!view) return part;
    part.navGuard = std::make_shared<webpolicy::WebkitNavGuard>(view, webpolicy::NavGuard(resourcesDir), desktop);
    webpolicy::Translate t = [](const std::string& key) { return menu::L10N::t(key); };
    part.shellUI = std::make_shared<webpolicy::WebkitShellUI>(view, webpolicy::ShellUI(std::move(t)));
    return part;
}

}  // namespace app
