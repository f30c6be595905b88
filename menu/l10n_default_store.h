// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <memory>

#include "common/settings_store.h"

namespace menu::L10N {

// The settings key file under the current $XDG_CONFIG_HOME, for when no store is installed.
std::unique_ptr<common::SettingsStore> makeDefaultStore();

}  // namespace menu::L10N
