// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/gtk_recent_boards.h"

#include <algorithm>
#include <utility>

namespace menu {
namespace {

constexpr const char* kAppName = "TAVRIK";
constexpr const char* kBoardMime = "application/json";
// Our boards carry this group: the file choosers register every file they pick under the
// application's name too, exports and other JSON files among them.
constexpr const char* kBoardGroup = "tavrik-board";

bool isOurBoard(GtkRecentInfo* info) {
    return gtk_recent_info_is_local(info) && gtk_recent_info_has_application(info, kAppName) &&
           gtk_recent_info_has_group(info, kBoardGroup);
}

}  // namespace

GtkRecentBoards::GtkRecentBoards(GtkRecentManager* manager)
    : manager_(gobj::retain(manager ? manager : gtk_recent_manager_get_default())) {
    // The manager tells of changes after they have settled (and those made by other programs);
    // the observer is looked up at that time, so it may be set or replaced later.
    handler_ = g_signal_connect(manager_.get(), "changed", G_CALLBACK(+[](GtkRecentManager*, gpointer self) noexcept {
                                    auto* boards = static_cast<GtkRecentBoards*>(self);
                                    if (boards->changed_) boards->changed_();
                                }),
                                this);
}

GtkRecentBoards::~GtkRecentBoards() { g_signal_handler_disconnect(manager_.get(), handler_); }

std::vector<std::string> GtkRecentBoards::list(std::size_t limit) {
    std::vector<std::pair<gint64, std::string>> found;
    GList* items = gtk_recent_manager_get_items(manager_.get());
    for (GList* l = items; l; l = l->next) {
        auto* info = static_cast<GtkRecentInfo*>(l->data);
        if (!isOurBoard(info) || !gtk_recent_info_exists(info)) continue;
        g_autofree char* path = g_filename_from_uri(gtk_recent_info_get_uri(info), nullptr, nullptr);
        if (!path) continue;
        // When this application last used it, not when any program did.
        GDateTime* stamp = nullptr;
        guint count = 0;
        gint64 when = 0;
        if (gtk_recent_info_get_application_info(info, kAppName, nullptr, &count, &stamp) && stamp)
            when = g_date_time_to_unix(stamp) * 1000000 + g_date_time_get_microsecond(stamp);
        found.emplace_back(when, path);
    }
    g_list_free_full(items, reinterpret_cast<GDestroyNotify>(gtk_recent_info_unref));
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> paths;
    for (auto& [when, path] : found) {
        if (paths.size() >= limit) break;
        paths.push_back(std::move(path));
    }
    return paths;
}

void GtkRecentBoards::add(const std::string& path) {
    g_autofree char* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    if (!uri) return;
    g_autofree char* exec = g_strdup_printf("%s %%u", g_get_prgname() ? g_get_prgname() : "tavrik");
    GtkRecentData data{};
    data.display_name = nullptr;
    data.mime_type = const_cast<char*>(kBoardMime);
    data.app_name = const_cast<char*>(kAppName);
    data.app_exec = exec;
    char* groups[] = {const_cast<char*>(kBoardGroup), nullptr};
    data.groups = groups;
    gtk_recent_manager_add_full(manager_.get(), uri, &data);
}

void GtkRecentBoards::clear() {
    // Only our own boards: other programs' recent files are not ours to forget.
    GList* items = gtk_recent_manager_get_items(manager_.get());
    for (GList* l = items; l; l = l->next) {
        auto* info = static_cast<GtkRecentInfo*>(l->data);
        if (isOurBoard(info)) gtk_recent_manager_remove_item(manager_.get(), gtk_recent_info_get_uri(info), nullptr);
    }
    g_list_free_full(items, reinterpret_cast<GDestroyNotify>(gtk_recent_info_unref));
}

void GtkRecentBoards::setChangedObserver(std::function<void()> changed) { changed_ = std::move(changed); }

}  // namespace menu
