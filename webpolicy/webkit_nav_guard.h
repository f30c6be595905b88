// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <webkit/webkit.h>

#include "common/desktop.h"
#include "gobj/handles.h"
#include "webpolicy/nav_guard.h"

namespace webpolicy {

// The guard on a web view's "decide-policy": navigations and new-window requests, frames included.
// Responses keep WebKit's default handling.
class WebkitNavGuard {
public:
    // desktop must outlive this object.
    WebkitNavGuard(WebKitWebView* view, NavGuard guard, common::Desktop& desktop);
    WebkitNavGuard(const WebkitNavGuard&) = delete;
    WebkitNavGuard& operator=(const WebkitNavGuard&) = delete;

    const NavGuard& guard() const { return guard_; }

private:
    static gboolean onDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   gpointer self) noexcept;
    bool decide(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);

    NavGuard guard_;
    common::Desktop& desktop_;
    gobj::SignalConnection decidePolicy_;
};

}  // namespace webpolicy
