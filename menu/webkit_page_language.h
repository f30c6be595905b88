// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the page's language in step with the menus. The web view's preferred languages are the
// user's, so that the page resolves "auto" from the same first language as L10N; and every page
// that finishes loading is told the stored choice, which it treats as a language change.
#include <webkit/webkit.h>

#include <memory>

#include "bridge/page_sink.h"
#include "gobj/handles.h"

namespace menu {

class WebkitPageLanguage {
public:
    // Call before the first load: the preferred languages apply to the pages loaded afterwards.
    // The stored choice reaches the page through `page`, in order with every other page call.
    WebkitPageLanguage(WebKitWebView* view, std::weak_ptr<bridge::PageSink> page);

private:
    std::shared_ptr<std::weak_ptr<bridge::PageSink>> page_;
    gobj::SignalConnection loaded_;
};

}  // namespace menu
