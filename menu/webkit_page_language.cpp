#include "menu/webkit_page_language.h"

#include <vector>

#include "menu/l10n.h"
#include "menu/menu_commands.h"

namespace menu {

WebkitPageLanguage::WebkitPageLanguage(WebKitWebView* view) {
    // Without this, navigator.language ignores LANGUAGE and reads "en-US" when no locale is set.
    auto tags = L10N::preferredLanguages();
    std::vector<const char*> list;
    for (const auto& tag : tags) list.push_back(tag.c_str());
    list.push_back(nullptr);
    webkit_web_context_set_preferred_languages(webkit_web_view_get_context(view), list.data());

    loaded_ = gobj::SignalConnection(
        view, g_signal_connect(view, "load-changed",
                               G_CALLBACK(+[](WebKitWebView* v, WebKitLoadEvent event, gpointer) noexcept {
                                   if (event != WEBKIT_LOAD_FINISHED) return;
                                   std::string call = storedLangCall(L10N::pref());
                                   webkit_web_view_evaluate_javascript(v, call.c_str(), -1, nullptr, nullptr, nullptr,
                                                                       nullptr, nullptr);
                               }),
                               nullptr));
}

}  // namespace menu
