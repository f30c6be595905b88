// SPDX-License-Identifier: GPL-3.0-or-later
#include "webpolicy/webkit_read_access.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "common/paths.h"
#include "gobj/handles.h"
#include "webpolicy/nav_guard.h"
#include "webpolicy/read_access.h"

namespace webpolicy {
namespace {

constexpr const char* kFilterId = "tavrik-read-access";

struct Pending {
    gobj::GRef<WebKitUserContentManager> manager;
    std::function<void(bool)> ready;
};

// Compiled rules are kept in a private per-user folder; they are compiled again at every start, so
// a moved resources folder never meets stale rules.
std::string storePath() {
    std::string base = common::paths::runtimeDir();
    if (base.empty()) base = std::string(g_get_user_cache_dir());
    return base + "/TAVRIK/content-filters";
}

void onSaved(GObject* store, GAsyncResult* result, gpointer data) noexcept {
    std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
    g_autoptr(GError) error = nullptr;
    WebKitUserContentFilter* filter =
        webkit_user_content_filter_store_save_finish(WEBKIT_USER_CONTENT_FILTER_STORE(store), result, &error);
    if (!filter) {
        g_log_structured("TAVRIK", G_LOG_LEVEL_WARNING, "MESSAGE", "page read rules not compiled: %s",
                         error ? error->message : "unknown failure");
        pending->ready(false);
        return;
    }
    webkit_user_content_manager_add_filter(pending->manager.get(), filter);
    webkit_user_content_filter_unref(filter);
    pending->ready(true);
}

}  // namespace

std::vector<std::string> htmlFolderUrls(const std::string& resourcesDir) {
    std::vector<std::string> urls;
    if (resourcesDir.empty()) return urls;
    std::error_code ec;
    std::string literal = std::filesystem::absolute(resourcesDir, ec).string() + "/html";
    if (ec) return urls;
    std::string standard = standardizePath(literal);
    for (const std::string& path : {literal, standard, resolveSymlinks(standard)}) {
        g_autofree char* uri = g_filename_to_uri((path + "/").c_str(), nullptr, nullptr);
        if (uri && std::find(urls.begin(), urls.end(), uri) == urls.end()) urls.emplace_back(uri);
    }
    return urls;
}

void confineToHtmlFolder(WebKitUserContentManager* manager, const std::string& resourcesDir,
                         std::function<void(bool confined)> ready) {
    if (auto links = linksLeaving(resourcesDir + "/html"); !links.empty()) {
        std::string list;
        for (const auto& l : links) list += (list.empty() ? "" : ", ") + ("html/" + l.link) + " → " + l.target;
        g_log_structured("TAVRIK", G_LOG_LEVEL_WARNING, "MESSAGE",
                         "the page is not loaded: links in its folder lead outside it (%s). A page may read "
                         "only its own html folder; copy those files in instead of linking them.",
                         list.c_str());
        ready(false);
        return;
    }
    std::string folder = storePath();
    g_mkdir_with_parents(folder.c_str(), 0700);
    auto store = gobj::adopt(webkit_user_content_filter_store_new(folder.c_str()));
    std::string rules = readAccessRules(htmlFolderUrls(resourcesDir));
    g_autoptr(GBytes) source = g_bytes_new(rules.data(), rules.size());
    auto* pending = new Pending{gobj::retain(manager), std::move(ready)};
    webkit_user_content_filter_store_save(store.get(), kFilterId, source, nullptr, onSaved, pending);
}

}  // namespace webpolicy
