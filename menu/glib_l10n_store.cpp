// SPDX-License-Identifier: GPL-3.0-or-later
#include "gobj/glib_settings_store.h"
#include "menu/l10n_default_store.h"

namespace menu::L10N {

std::unique_ptr<common::SettingsStore> makeDefaultStore() { return std::make_unique<gobj::GlibSettingsStore>(); }

}  // namespace menu::L10N
