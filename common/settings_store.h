// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <optional>
#include <string>

namespace common {

// One string per key, kept across runs (the interface language preference).
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> get(const std::string& key) = 0;
    virtual void set(const std::string& key, const std::string& value) = 0;
};

}  // namespace common
