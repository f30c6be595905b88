// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/gtk_gl_probe.h"

#include <epoxy/gl.h>

#include <cstring>
#include <string>

#include "common/log.h"

namespace app {
namespace {

bool isSoftwareRenderer(const char* renderer) {
    if (!renderer) return true;
    for (const char* name : {"llvmpipe", "softpipe", "swrast"})
        if (std::strstr(renderer, name)) return true;
    return false;
}

}  // namespace

bool openGlIsSoftware(GdkDisplay* display) {
    if (!display) return true;
    g_autoptr(GError) error = nullptr;
    g_autoptr(GdkGLContext) context = gdk_display_create_gl_context(display, &error);
    if (!context || !gdk_gl_context_realize(context, &error)) {
        common::log::info(std::string("no OpenGL on this display: ") + (error ? error->message : "unknown"));
        return true;
    }
    gdk_gl_context_make_current(context);
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    bool software = isSoftwareRenderer(renderer);
    common::log::info(std::string("OpenGL renderer: ") + (renderer ? renderer : "unknown"));
    gdk_gl_context_clear_current();
    return software;
}

void drawWithCairo(GdkDisplay* display) {
    if (!display || g_getenv("GSK_RENDERER")) return;
    // GTK reads the renderer for a window from this display key before its environment variable
    // (its inspector uses the same key to pick its own).
    g_object_set_data_full(G_OBJECT(display), "gsk-renderer", g_strdup("cairo"), g_free);
}

}  // namespace app
