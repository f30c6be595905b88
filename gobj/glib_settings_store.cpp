// SPDX-License-Identifier: GPL-3.0-or-later
#include "gobj/glib_settings_store.h"

#include <glib.h>

#include "common/paths.h"

namespace gobj {
namespace {
constexpr const char* kGroup = "settings";
}

GlibSettingsStore::GlibSettingsStore() : path_(common::paths::configHome() + "/TAVRIK/settings.ini") {}

std::optional<std::string> GlibSettingsStore::get(const std::string& key) {
    g_autoptr(GKeyFile) file = g_key_file_new();
    if (!g_key_file_load_from_file(file, path_.c_str(), G_KEY_FILE_NONE, nullptr)) return std::nullopt;
    g_autofree char* value = g_key_file_get_string(file, kGroup, key.c_str(), nullptr);
    if (!value) return std::nullopt;
    return std::string(value);
}

void GlibSettingsStore::set(const std::string& key, const std::string& value) {
    g_autoptr(GKeyFile) file = g_key_file_new();
    g_key_file_load_from_file(file, path_.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr);  // absent is fine
    g_key_file_set_string(file, kGroup, key.c_str(), value.c_str());
    g_autofree char* dir = g_path_get_dirname(path_.c_str());
    g_mkdir_with_parents(dir, 0700);
    g_key_file_save_to_file(file, path_.c_str(), nullptr);  // atomic replace; a failure keeps the old file
}

}  // namespace gobj
