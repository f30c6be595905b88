#pragma once
// Whether OpenGL on this display is drawn by the CPU. WebKit composites every frame of the page
// with OpenGL; without a GPU, a frame of the board costs its web process about 50 ms, while
// painting without compositing costs a fraction of that.
#include <gtk/gtk.h>

namespace app {

// True when the display offers no OpenGL, or only a software renderer (Mesa's llvmpipe,
// softpipe or swrast). Main thread, after GTK is initialised; creates a GL context once.
bool openGlIsSoftware(GdkDisplay* display);

}  // namespace app
