// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// PDFs made on the spot with cairo (or by hand where cairo would refuse), and a look at the JPEGs
// the renderer produces. Shared by the render tests and the render benchmark.
#include <cairo-pdf.h>
#include <cairo.h>
#include <jpeglib.h>  // after <cstdio>: it needs FILE and size_t

#include <cmath>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/bytes.h"
#include "files/render_page.h"
#include "support/pdf_objects.h"

namespace renderfixtures {

inline std::string helperPath() {
    std::string exe = TAVRIK_BINARY;
    return exe.substr(0, exe.rfind('/')) + "/tavrik-render";
}

using Draw = std::function<void(cairo_t*, int page, double w, double h)>;

// One page per size, each drawn by draw (a page number in large type by default).
inline common::Bytes makePdf(const std::vector<std::pair<double, double>>& sizes, const Draw& draw = {}) {
    common::Bytes out;
    auto write = [](void* closure, const unsigned char* data, unsigned int length) {
        auto* b = static_cast<common::Bytes*>(closure);
        b->insert(b->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
    };
    cairo_surface_t* s = cairo_pdf_surface_create_for_stream(write, &out, sizes.at(0).first, sizes.at(0).second);
    cairo_t* cr = cairo_create(s);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        auto [w, h] = sizes[i];
        cairo_pdf_surface_set_size(s, w, h);
        if (draw) {
            draw(cr, static_cast<int>(i), w, h);
        } else {
            cairo_set_source_rgb(cr, 0.1, 0.1, 0.5);
            cairo_set_font_size(cr, std::min(w, h) / 4);
            cairo_move_to(cr, w / 8, h / 2);
            cairo_show_text(cr, std::to_string(i + 1).c_str());
        }
        cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_finish(s);
    cairo_surface_destroy(s);
    return out;
}

inline common::Bytes pages(int count, double w = 612, double h = 792) {
    return makePdf(std::vector<std::pair<double, double>>(static_cast<std::size_t>(count), {w, h}));
}

// A one-page PDF with the given MediaBox text and content stream, with a correct xref table;
// pageEntries go into the page dictionary as they are (a /CropBox, a /Rotate, /Resources).
inline common::Bytes handmadePdf(const std::string& mediaBox, const std::string& content = "0 0 1 rg 0 0 50 50 re f",
                                 const std::string& pageEntries = "") {
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox " + mediaBox + " " + pageEntries + " /Contents 4 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
    };
    return common::toBytes(testsupport::pdfFromObjects(objects));
}

// A PDF under the standard security handler whose user password is not empty: it cannot be opened
// without one.
inline common::Bytes lockedPdf() {
    const std::string key(64, 'A');  // neither the user nor the owner key of an empty password
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>",
        "<< /Filter /Standard /V 1 /R 2 /O <" + key + "> /U <" + key + "> /P -4 >>",
    };
    return common::toBytes(testsupport::pdfFromObjects(
        objects, "/Encrypt 4 0 R /ID [<00112233445566778899AABBCCDDEEFF> <00112233445566778899AABBCCDDEEFF>]"));
}

struct Decoded {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    // The pixel at (x, y) as 0xRRGGBB.
    std::uint32_t at(int x, int y) const {
        auto* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return (p[0] << 16) | (p[1] << 8) | p[2];
    }
};

// Decodes a JPEG fully; nothing when it is not one.
inline std::optional<Decoded> decodeJpeg(const common::Bytes& jpeg) {
    struct Err {
        jpeg_error_mgr mgr;
        std::jmp_buf jump;
    } err{};
    jpeg_decompress_struct d{};
    d.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<Err*>(c->err)->jump, 1); };
    Decoded out;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&d);
        return std::nullopt;
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), jpeg.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    out.width = static_cast<int>(d.output_width);
    out.height = static_cast<int>(d.output_height);
    out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &out.rgb[static_cast<std::size_t>(d.output_scanline) * out.width * 3];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return out;
}

// A page of heavy vector drawing: slow to render and a large JPEG.
inline void scribble(cairo_t* cr, int page, double w, double h) {
    unsigned seed = 12345u + static_cast<unsigned>(page);
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) / 65536u % 32768u / 32768.0; };
    cairo_set_line_width(cr, 0.7);
    for (int i = 0; i < 400; ++i) {
        cairo_set_source_rgb(cr, next(), next(), next());
        cairo_move_to(cr, next() * w, next() * h);
        cairo_curve_to(cr, next() * w, next() * h, next() * w, next() * h, next() * w, next() * h);
        cairo_stroke(cr);
    }
}

}  // namespace renderfixtures
