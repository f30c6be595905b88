// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/webkit_page_language.h"

#include <vector>

#include "gobj/connect.h"
#include "menu/l10n.h"
#include "menu/menu_commands.h"

namespace menu {

WebkitPageLanguage::WebkitPageLanguage(WebKitWebView* view, std::weak_ptr<bridge::PageSink> page)
    : page_(std::make_shared<std::weak_ptr<bridge::PageSink>>(std::move(page))) {
    // Without this, navigator.language ignores LANGUAGE and reads "en-US" when no locale is set.
    auto tags = L10N::preferredLanguages();
    std::vector<const char*> list;
    for (const auto& tag : tags) list.push_back(tag.c_str());
    list.push_back(nullptr);
    webkit_web_context_set_preferred_languages(webkit_web_view_get_context(view), list.data());
    loaded_ = gobj::connect<WebKitWebView, WebKitLoadEvent>(
        view, "load-changed", std::weak_ptr(page_),
        [](std::weak_ptr<bridge::PageSink>& weak, WebKitWebView*, WebKitLoadEvent event) {
            if (event != WEBKIT_LOAD_FINISHED) return;
            if (auto page = weak.lock()) page->pushScript(storedLangCall(L10N::pref()));
        });
}

}  // namespace menu
