// SPDX-License-Identifier: GPL-3.0-or-later
#include "webpolicy/webkit_read_access.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <vector>

#include "common/paths.h"
#include "gobj/handles.h"
#include "webpolicy/nav_guard.h"
#include "webpolicy/read_access.h"

namespace webpolicy {
namespace {

constexpr const char* kFilterId = "tavrik-read-access";

struct Pending {
    gobj::GRef<WebKitUserContentManager> manager;
    GBytes* source;                   // owned
    std::vector<std::string> places;  // folders still to try, first first
    std::string failures;             // why each folder tried so far failed
    std::function<void(bool, const std::string&)> ready;
    ~Pending() { g_bytes_unref(source); }
};

// Compiled rules are kept in a private per-user folder; they are compiled again at every start, so
// a moved resources folder never meets stale rules. The runtime folder may be missing, full or not
// writable (a broken session): the user's cache folder stands in for it.
std::vector<std::string> storePlaces() {
    std::vector<std::string> places;
    if (std::string runtime = common::paths::runtimeDir(); !runtime.empty())
        places.push_back(runtime + "/TAVRIK/content-filters");
    places.push_back(std::string(g_get_user_cache_dir()) + "/TAVRIK/content-filters");
    return places;
}

void storeNext(std::unique_ptr<Pending> pending);

void onSaved(GObject* store, GAsyncResult* result, gpointer data) noexcept {
    std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
    g_autoptr(GError) error = nullptr;
    WebKitUserContentFilter* filter =
        webkit_user_content_filter_store_save_finish(WEBKIT_USER_CONTENT_FILTER_STORE(store), result, &error);
    if (!filter) {
        pending->failures += std::string(pending->failures.empty() ? "" : "; ") +
                             (error ? error->message : "the rules could not be stored");
        storeNext(std::move(pending));
        return;
    }
    webkit_user_content_manager_add_filter(pending->manager.get(), filter);
    webkit_user_content_filter_unref(filter);
    pending->ready(true, {});
}

void storeNext(std::unique_ptr<Pending> pending) {
    while (!pending->places.empty()) {
        std::string folder = std::move(pending->places.front());
        pending->places.erase(pending->places.begin());
        if (g_mkdir_with_parents(folder.c_str(), 0700) != 0) {
            const int error = errno;
            pending->failures += (pending->failures.empty() ? "" : "; ") + folder + ": " + g_strerror(error);
            continue;
        }
        auto store = gobj::adopt(webkit_user_content_filter_store_new(folder.c_str()));
        Pending* raw = pending.release();
        webkit_user_content_filter_store_save(store.get(), kFilterId, raw->source, nullptr, onSaved, raw);
        return;
    }
    g_log_structured("TAVRIK", G_LOG_LEVEL_WARNING, "MESSAGE", "page read rules not stored: %s",
                     pending->failures.c_str());
    pending->ready(false, pending->failures);
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
                         std::function<void(bool confined, const std::string& why)> ready) {
    if (auto links = linksLeaving(resourcesDir + "/html"); !links.empty()) {
        std::string list;
        for (const auto& l : links) list += (list.empty() ? "" : ", ") + ("html/" + l.link) + " → " + l.target;
        g_log_structured("TAVRIK", G_LOG_LEVEL_WARNING, "MESSAGE",
                         "the page is not loaded: links in its folder lead outside it (%s). A page may read "
                         "only its own html folder; copy those files in instead of linking them.",
                         list.c_str());
        ready(false, "links in the page's folder lead outside it: " + list);
        return;
    }
    std::string rules = readAccessRules(htmlFolderUrls(resourcesDir));
    storeNext(std::unique_ptr<Pending>(new Pending{
        gobj::retain(manager), g_bytes_new(rules.data(), rules.size()), storePlaces(), {}, std::move(ready)}));
}

}  // namespace webpolicy
