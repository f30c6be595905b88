// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether OpenGL on this display is drawn by the CPU. WebKit composites every frame of the page
// with OpenGL; without a GPU, a frame of the board costs its web process about 50 ms, while
// painting without compositing costs a fraction of that.
#include <gtk/gtk.h>

namespace app {

// True when the display offers no OpenGL, or only a software renderer (Mesa's llvmpipe,
// softpipe or swrast). Main thread, after GTK is initialised; creates a GL context once.
bool openGlIsSoftware(GdkDisplay* display);

// Has GTK draw this display's windows with cairo rather than OpenGL, unless the user chose a
// renderer with GSK_RENDERER. On a CPU-drawn OpenGL, each frame of the window then costs a plain
// copy of the page's pixels instead of a texture upload and a software rasterizer. Takes effect
// for windows realized afterwards.
void drawWithCairo(GdkDisplay* display);

}  // namespace app
