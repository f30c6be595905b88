// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's size and maximised state, kept across starts in the settings (not its
// position: Wayland gives windows none).
#include <optional>

#include "common/settings_store.h"

namespace app {

struct WindowState {
    int width = 0, height = 0;
    bool maximized = false;
};

// The state kept last time; nothing when none was kept or it does not read as sizes.
std::optional<WindowState> readWindowState(common::SettingsStore& settings);
void writeWindowState(common::SettingsStore& settings, const WindowState& state);

// Whether a kept size can be given back: at least the smallest window, and no larger than the
// monitor the window is on now (a size from a larger monitor falls back to the default).
bool fitsMonitor(const WindowState& state, int monitorWidth, int monitorHeight, int minWidth, int minHeight);

}  // namespace app
