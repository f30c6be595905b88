// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_state.h"

#include <charconv>
#include <string>

namespace app {
namespace {

std::optional<int> readSize(common::SettingsStore& settings, const char* key) {
    auto text = settings.get(key);
    if (!text) return std::nullopt;
    int value = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size() || value <= 0) return std::nullopt;
    return value;
}

}  // namespace

std::optional<WindowState> readWindowState(common::SettingsStore& settings) {
    auto width = readSize(settings, "window-width");
    auto height = readSize(settings, "window-height");
    if (!width || !height) return std::nullopt;
    return WindowState{*width, *height, settings.get("window-maximized") == "true"};
}

void writeWindowState(common::SettingsStore& settings, const WindowState& state) {
    auto keep = [&](const char* key, const std::string& value) {
        if (settings.get(key) != value) settings.set(key, value);
    };
    keep("window-width", std::to_string(state.width));
    keep("window-height", std::to_string(state.height));
    keep("window-maximized", state.maximized ? "true" : "false");
}

bool fitsMonitor(const WindowState& state, int monitorWidth, int monitorHeight, int minWidth, int minHeight) {
    return state.width >= minWidth && state.height >= minHeight && state.width <= monitorWidth &&
           state.height <= monitorHeight;
}

}  // namespace app
