// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keys typed as a user types them, for tests of the shell window. Include it last: Xlib's macros
// (None, Bool, …) would otherwise rewrite GoogleTest's names.
#include <gdk/x11/gdkx.h>

#include <string>
#include <vector>

#include "support/gtk_support.h"

namespace testsupport {

// Gives the shell's window the X input focus, then types the keys, in order, through XTest: the
// focused window gets them as it gets a keyboard's. (Keys sent to a window by XSendEvent take
// another path, and fail once the window has gone, as it does after a quit.)
inline bool pressKeys(Shell& shell, const std::vector<std::string>& keys) {
    GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(shell.window()));
    if (!GDK_IS_X11_SURFACE(surface)) return false;
    std::string xid = std::to_string(gdk_x11_surface_get_xid(surface));
    if (!runProgram({"xdotool", "windowfocus", "--sync", xid})) return false;
    std::vector<std::string> args{"xdotool", "key", "--delay", "100"};
    args.insert(args.end(), keys.begin(), keys.end());
    return runProgram(args);
}

}  // namespace testsupport
