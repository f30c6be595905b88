// SPDX-License-Identifier: GPL-3.0-or-later
#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <memory>

#include "files/file_io.h"
#include "files/image_source.h"
#include "files/pdf_builder.h"

namespace files {
namespace {

constexpr double kA4Width = 595.0;

struct SurfaceFree {
    void operator()(cairo_surface_t* s) const noexcept { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceFree>;

// An image ready to draw, with its size in points.
struct Image {
    Surface surface;
    int width = 0, height = 0;
};

// A one-pixel stand-in that carries the JPEG bytes for the PDF writer to embed as they are. The
// writer takes the image's real size from the JPEG itself and draws it over the stand-in's unit
// square, so the stand-in costs no memory for pixels that are never drawn.
Image jpegImage(common::Bytes&& bytes, const JpegFrame& frame) {
    Surface s{cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1)};
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS) return {};
    auto* owned = new common::Bytes(std::move(bytes));
    cairo_status_t st = cairo_surface_set_mime_data(
        s.get(), CAIRO_MIME_TYPE_JPEG, owned->data(), owned->size(),
        [](void* p) noexcept { delete static_cast<common::Bytes*>(p); }, owned);
    if (st != CAIRO_STATUS_SUCCESS) {
        delete owned;
        return {};
    }
    return {std::move(s), frame.width, frame.height};
}

Image decodedImage(common::Bytes&& bytes) {
    // Grey and colour JPEGs embed as they are; CMYK ones (PDF readers disagree about their
    // inverted channels) and rarer codings go through the decoder.
    if (auto frame = jpegFrame(bytes); frame && frame->baseline && (frame->components == 1 || frame->components == 3))
        return jpegImage(std::move(bytes), *frame);
    Surface s{decodeImage(bytes)};
    bytes = {};
    if (!s) return {};
    int w = cairo_image_surface_get_width(s.get()), h = cairo_image_surface_get_height(s.get());
    return {std::move(s), w, h};
}

cairo_status_t writeToStream(void* closure, const unsigned char* data, unsigned int length) noexcept {
    auto* stream = static_cast<ReplaceStream*>(closure);
    return stream->write(data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

PageBox pageBoxFor(PageLayout layout, int w, int h) {
    double width = std::max(w, 1), height = std::max(h, 1);
    if (layout == PageLayout::ImageSize) return {width, height};
    return {kA4Width, height * kA4Width / width};
}

common::Status buildPdf(std::vector<common::Bytes> images, PageLayout layout, const std::string& path) {
    std::unique_ptr<ReplaceStream> stream;  // opened with the first page, so no page means no file
    Surface pdf;
    int pages = 0;
    for (auto& bytes : images) {
        Image image = decodedImage(std::move(bytes));
        if (!image.surface) continue;
        PageBox box = pageBoxFor(layout, image.width, image.height);
        if (!pdf) {
            auto opened = ReplaceStream::open(path);
            if (!opened) return opened.error();
            stream = std::move(*opened);
            pdf.reset(cairo_pdf_surface_create_for_stream(writeToStream, stream.get(), box.width, box.height));
            if (cairo_surface_status(pdf.get()) != CAIRO_STATUS_SUCCESS)
                return common::Error{common::Error::Kind::Io, "pdf"};
        } else {
            cairo_pdf_surface_set_size(pdf.get(), box.width, box.height);
        }
        cairo_t* cr = cairo_create(pdf.get());
        int sw = cairo_image_surface_get_width(image.surface.get());
        int sh = cairo_image_surface_get_height(image.surface.get());
        cairo_scale(cr, box.width / sw, box.height / sh);
        cairo_set_source_surface(cr, image.surface.get(), 0, 0);
        cairo_paint(cr);
        cairo_show_page(cr);
        cairo_destroy(cr);
        ++pages;
    }
    if (pages == 0) return common::Error{common::Error::Kind::Decode, "no page could be made"};
    cairo_surface_finish(pdf.get());
    if (cairo_surface_status(pdf.get()) != CAIRO_STATUS_SUCCESS)
        return common::Error{common::Error::Kind::Io, cairo_status_to_string(cairo_surface_status(pdf.get()))};
    pdf.reset();
    return stream->commit();
}

std::optional<JpegFrame> jpegFrame(const common::Bytes& b) {
    std::size_t n = b.size(), i = 2;
    if (n < 4 || b[0] != 0xFF || b[1] != 0xD8) return std::nullopt;
    while (i + 4 <= n) {
        if (b[i] != 0xFF) return std::nullopt;
        std::uint8_t marker = b[i + 1];
        if (marker == 0xFF) {  // fill byte
            ++i;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
            i += 2;
            continue;
        }
        std::size_t len = (std::size_t{b[i + 2]} << 8) | b[i + 3];
        if (len < 2 || i + 2 + len > n) return std::nullopt;
        bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (len < 8) return std::nullopt;
            const std::uint8_t* p = b.data() + i + 4;
            JpegFrame f{(p[3] << 8) | p[4], (p[1] << 8) | p[2], p[5], marker <= 0xC2};
            if (f.width <= 0 || f.height <= 0) return std::nullopt;
            return f;
        }
        if (marker == 0xDA || marker == 0xD9) return std::nullopt;  // scan data before any frame
        i += 2 + len;
    }
    return std::nullopt;
}

}  // namespace files
