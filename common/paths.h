// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>
#include <string_view>

namespace common::paths {

// The XDG folders, read from the environment on every call so a test can point them elsewhere
// (GLib caches its answers for the life of the process).
std::string home();
std::string configHome();  // $XDG_CONFIG_HOME, else ~/.config
std::string dataHome();    // $XDG_DATA_HOME, else ~/.local/share
std::string runtimeDir();  // $XDG_RUNTIME_DIR, or "" when unset

// What follows the last '/', trailing slashes ignored: "a/b/" gives "b", "/" and "" give "".
std::string lastComponent(std::string_view path);

}  // namespace common::paths
