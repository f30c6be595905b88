// SPDX-License-Identifier: GPL-3.0-or-later
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>

#include "files/image_source.h"
#include "gobj/handles.h"

namespace files {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

struct Probe {
    std::optional<ImageSize> size;
};

void onSizePrepared(GdkPixbufLoader*, int width, int height, gpointer data) noexcept {
    if (width > 0 && height > 0) static_cast<Probe*>(data)->size = ImageSize{width, height};
}

}  // namespace

std::optional<ImageSize> probeImage(const common::Bytes& bytes) {
    if (bytes.empty()) return std::nullopt;
    gobj::GRef<GdkPixbufLoader> loader = gobj::adopt(gdk_pixbuf_loader_new());
    Probe probe;
    g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(onSizePrepared), &probe);
    // Incremental loaders report the size from the header, so most images are not decoded here.
    for (std::size_t at = 0; at < bytes.size() && !probe.size;) {
        std::size_t n = std::min(kChunk, bytes.size() - at);
        if (!gdk_pixbuf_loader_write(loader.get(), bytes.data() + at, n, nullptr)) break;
        at += n;
    }
    // Closing early reports a truncated image; only the size matters here.
    gdk_pixbuf_loader_close(loader.get(), nullptr);
    g_signal_handlers_disconnect_by_data(loader.get(), &probe);
    return probe.size;
}

cairo_surface_t* decodeImage(const common::Bytes& bytes) {
    if (bytes.empty()) return nullptr;
    gobj::GRef<GdkPixbufLoader> loader = gobj::adopt(gdk_pixbuf_loader_new());
    bool written = gdk_pixbuf_loader_write(loader.get(), bytes.data(), bytes.size(), nullptr);
    bool closed = gdk_pixbuf_loader_close(loader.get(), nullptr);
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());  // transfer none
    if (!written || !closed || !pixbuf) return nullptr;

    int w = gdk_pixbuf_get_width(pixbuf), h = gdk_pixbuf_get_height(pixbuf);
    int channels = gdk_pixbuf_get_n_channels(pixbuf);
    bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    if (gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || channels < (alpha ? 4 : 3)) return nullptr;

    cairo_surface_t* surface = cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, w, h);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    const guchar* src = gdk_pixbuf_read_pixels(pixbuf);
    int srcStride = gdk_pixbuf_get_rowstride(pixbuf);
    unsigned char* dst = cairo_image_surface_get_data(surface);
    int dstStride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < h; ++y) {
        const guchar* s = src + static_cast<std::size_t>(y) * srcStride;
        auto* d = reinterpret_cast<std::uint32_t*>(dst + static_cast<std::size_t>(y) * dstStride);
        for (int x = 0; x < w; ++x, s += channels) {
            std::uint32_t a = alpha ? s[3] : 255;
            // cairo wants premultiplied alpha in native-endian 32-bit pixels.
            auto mul = [a](std::uint32_t c) { return a == 255 ? c : (c * a + 127) / 255; };
            d[x] = (a << 24) | (mul(s[0]) << 16) | (mul(s[1]) << 8) | mul(s[2]);
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

}  // namespace files
