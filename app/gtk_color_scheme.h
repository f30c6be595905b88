// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop's light or dark preference, passed on to GTK so that the page's
// prefers-color-scheme follows it.
#include <gtk/gtk.h>

namespace app {

// Reads the preference once and follows its changes for the life of the process. Main thread,
// after GTK is initialised.
void followColorScheme();

}  // namespace app
