// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/poppler_pdf.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <poppler.h>

#include "files/render_page.h"

namespace files {

struct PopplerPdf::Impl {
    GBytes* bytes = nullptr;
    PopplerDocument* doc = nullptr;
    ~Impl() {
        if (doc) g_object_unref(doc);
        if (bytes) g_bytes_unref(bytes);
    }
};

PopplerPdf::PopplerPdf(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PopplerPdf::~PopplerPdf() = default;

std::unique_ptr<PopplerPdf> PopplerPdf::open(const std::uint8_t* data, std::size_t size, bool* locked) {
    if (locked) *locked = false;
    if (!data || size == 0) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->bytes = g_bytes_new_static(data, size);
    g_autoptr(GError) error = nullptr;
    impl->doc = poppler_document_new_from_bytes(impl->bytes, nullptr, &error);
    if (!impl->doc) {
        if (locked) *locked = g_error_matches(error, POPPLER_ERROR, POPPLER_ERROR_ENCRYPTED);
        return nullptr;
    }
    return std::unique_ptr<PopplerPdf>(new PopplerPdf(std::move(impl)));
}

void PopplerPdf::warmFonts() { FcInit(); }

int PopplerPdf::pageCount() const { return poppler_document_get_n_pages(impl_->doc); }

std::optional<common::Bytes> PopplerPdf::renderJpeg(int index) const {
    PopplerPage* page = poppler_document_get_page(impl_->doc, index);
    if (!page) return std::nullopt;
    double w = 0, h = 0;
    poppler_page_get_size(page, &w, &h);
    auto px = pagePixels(w, h);
    if (!px) {
        g_object_unref(page);
        return std::nullopt;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, px->width, px->height);
    std::optional<common::Bytes> jpeg;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        // Each axis on its own scale, so rounding to whole pixels never leaves an unpainted edge.
        cairo_scale(cr, px->width / w, px->height / h);
        poppler_page_render(page, cr);
        bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        if (drawn)
            jpeg = encodePageJpeg(cairo_image_surface_get_data(surface), px->width, px->height,
                                  cairo_image_surface_get_stride(surface), kPageJpegQuality);
    }
    cairo_surface_destroy(surface);
    g_object_unref(page);
    return jpeg;
}

}  // namespace files
