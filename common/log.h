// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's log: one line per event, in the "tavrik" log domain. Warnings (an error that
// was handled by beeping, skipping or falling back) always reach the journal or stderr; the
// detailed trail is shown with G_MESSAGES_DEBUG=tavrik. A line names what failed and why, never
// a secret and never page content beyond a short name. Safe from any thread.
#include <functional>
#include <string_view>

namespace common::log {

enum class Level { Warning, Info, Debug };

void warning(std::string_view line);
void info(std::string_view line);
void debug(std::string_view line);

// Replaces where lines go (tests collect them); an empty sink restores the system log.
using Sink = std::function<void(Level, std::string_view)>;
void setSink(Sink sink);

}  // namespace common::log
