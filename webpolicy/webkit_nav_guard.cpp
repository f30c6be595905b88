// SPDX-License-Identifier: GPL-3.0-or-later
#include "webpolicy/webkit_nav_guard.h"

namespace webpolicy {

WebkitNavGuard::WebkitNavGuard(WebKitWebView* view, NavGuard guard, common::Desktop& desktop)
    : guard_(std::move(guard)),
      desktop_(desktop),
      decidePolicy_(view, g_signal_connect(view, "decide-policy", G_CALLBACK(onDecidePolicy), this)) {}

gboolean WebkitNavGuard::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                        gpointer self) noexcept {
    return static_cast<WebkitNavGuard*>(self)->decide(decision, type) ? TRUE : FALSE;
}

bool WebkitNavGuard::decide(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
        return false;
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    WebKitURIRequest* request = action ? webkit_navigation_action_get_request(action) : nullptr;
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    std::optional<std::string> url;
    if (uri) url = uri;

    switch (guard_.decide(url)) {
        case NavDecision::Allow:
            webkit_policy_decision_use(decision);
            break;
        case NavDecision::OpenInBrowser:
            desktop_.openUri(*url);
            webkit_policy_decision_ignore(decision);
            break;
        case NavDecision::Cancel:
            webkit_policy_decision_ignore(decision);
            break;
    }
    return true;
}

}  // namespace webpolicy
