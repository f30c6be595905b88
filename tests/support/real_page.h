// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's own page (the html/ folder of the source tree) loaded into a test Shell, and a
// record of the command messages it posts.
#include <string>

#include "support/gtk_support.h"

namespace testsupport {

// Copies <source>/html into the shell's resources folder and loads it; true once it has loaded
// and its scripts have run.
bool loadRealPage(Shell& shell);

// Wraps the page's bridge so every command message it posts is also kept, as JSON text, in
// window.__sent. The messages still reach the shell.
void recordMessages(Shell& shell);

// JavaScript for "the last recorded message with this action" (or undefined).
std::string lastSent(const std::string& action);

}  // namespace testsupport
