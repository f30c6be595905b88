// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>

#include "common/settings_store.h"

namespace gobj {

// A GLib key file in $XDG_CONFIG_HOME/TAVRIK/settings.ini, rewritten atomically on every change.
class GlibSettingsStore final : public common::SettingsStore {
public:
    GlibSettingsStore();  // the default location
    explicit GlibSettingsStore(std::string path) : path_(std::move(path)) {}
    std::optional<std::string> get(const std::string& key) override;
    void set(const std::string& key, const std::string& value) override;

private:
    std::string path_;
};

}  // namespace gobj
