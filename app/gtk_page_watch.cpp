// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/gtk_page_watch.h"

namespace app {
namespace {

bool isEditorNoise(GFile* file) {
    g_autofree char* name = g_file_get_basename(file);
    if (!name || !*name) return true;
    const std::size_t n = std::char_traits<char>::length(name);
    return name[0] == '.' || name[n - 1] == '~';
}

}  // namespace

PageWatch::PageWatch(WebKitWebView* view, const std::string& folder, std::chrono::milliseconds quiet)
    : view_(view), quiet_(quiet) {
    g_autoptr(GFile) root = g_file_new_for_path(folder.c_str());
    watchTree(root);
    if (monitors_.empty()) g_warning("--watch: cannot watch %s", folder.c_str());
}

PageWatch::~PageWatch() {
    if (timer_) g_source_remove(timer_);
}

void PageWatch::watchTree(GFile* folder) {
    g_autofree char* path = g_file_get_path(folder);
    if (!path || monitors_.count(path)) return;
    g_autoptr(GError) error = nullptr;
    GFileMonitor* monitor = g_file_monitor_directory(folder, G_FILE_MONITOR_WATCH_MOVES, nullptr, &error);
    if (!monitor) return;
    auto callback = +[](GFileMonitor*, GFile* file, GFile*, GFileMonitorEvent event, gpointer self) noexcept {
        static_cast<PageWatch*>(self)->onChanged(file, event);
    };
    gulong id = g_signal_connect(monitor, "changed", G_CALLBACK(callback), this);
    monitors_[path] = Monitor{gobj::adopt(monitor), gobj::SignalConnection(monitor, id)};

    // Folders already inside; those made later are added as they appear.
    g_autoptr(GFileEnumerator) children =
        g_file_enumerate_children(folder, G_FILE_ATTRIBUTE_STANDARD_NAME "," G_FILE_ATTRIBUTE_STANDARD_TYPE,
                                  G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, nullptr, nullptr);
    for (GFileInfo* info = nullptr;
         children && g_file_enumerator_iterate(children, &info, nullptr, nullptr, nullptr) && info;) {
        if (g_file_info_get_file_type(info) != G_FILE_TYPE_DIRECTORY) continue;
        g_autoptr(GFile) child = g_file_get_child(folder, g_file_info_get_name(info));
        watchTree(child);
    }
}

void PageWatch::onChanged(GFile* file, GFileMonitorEvent event) {
    switch (event) {
        case G_FILE_MONITOR_EVENT_CREATED:
        case G_FILE_MONITOR_EVENT_MOVED_IN:
        case G_FILE_MONITOR_EVENT_RENAMED:
            // A new folder (made, or moved in with its files) is watched too.
            if (g_file_query_file_type(file, G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, nullptr) == G_FILE_TYPE_DIRECTORY)
                watchTree(file);
            break;
        case G_FILE_MONITOR_EVENT_DELETED:
        case G_FILE_MONITOR_EVENT_MOVED_OUT:
            if (g_autofree char* path = g_file_get_path(file)) monitors_.erase(path);
            break;
        case G_FILE_MONITOR_EVENT_CHANGES_DONE_HINT:
            break;
        default:
            // A write still going on ends with CHANGES_DONE_HINT; attributes change nothing the page reads.
            return;
    }
    if (isEditorNoise(file)) return;
    // Each change starts the quiet time again: a burst of writes reloads once, after its last one.
    if (timer_) g_source_remove(timer_);
    timer_ = g_timeout_add(
        static_cast<guint>(quiet_.count()),
        +[](gpointer self) noexcept -> gboolean {
            auto* watch = static_cast<PageWatch*>(self);
            watch->timer_ = 0;
            watch->reload();
            return G_SOURCE_REMOVE;
        },
        this);
}

void PageWatch::reload() {
    if (auto view = view_.lock()) webkit_web_view_reload_bypass_cache(view.get());
}

}  // namespace app
