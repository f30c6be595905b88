// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <gtk/gtk.h>

namespace menu {

// The About dialog, modal to the active window: name, version, icon and licence.
void showAboutDialog(GtkApplication* app);

}  // namespace menu
