// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The import bench's document: 120 mixed pages (text, vector drawings, photos with captions, scans),
// generated once, deterministically, and kept beside the program.
#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "common/bytes.h"
#include "unit/files/render_fixtures.h"

namespace pdfimport {

inline std::uint32_t nextRandom(std::uint32_t& r) { return r = r * 1664525u + 1013904223u; }

// Image bytes embedded as JPEG (as a camera or a scanner would have stored them).
inline cairo_surface_t* withJpeg(cairo_surface_t* s, int quality) {
    cairo_surface_flush(s);
    auto jpeg = files::encodePageJpeg(cairo_image_surface_get_data(s), cairo_image_surface_get_width(s),
                                      cairo_image_surface_get_height(s), cairo_image_surface_get_stride(s), quality);
    auto* copy = new common::Bytes(std::move(*jpeg));
    cairo_surface_set_mime_data(
        s, CAIRO_MIME_TYPE_JPEG, copy->data(), copy->size(), [](void* p) { delete static_cast<common::Bytes*>(p); },
        copy);
    return s;
}

// A photo: smooth colour fields with sensor grain.
inline cairo_surface_t* photo(int seed, int w, int h) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    auto* px = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    std::uint32_t r = 2166136261u + static_cast<std::uint32_t>(seed);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(px + static_cast<std::size_t>(y) * stride);
        for (int x = 0; x < w; ++x) {
            int grain = static_cast<int>(nextRandom(r) >> 28) - 8;
            auto c = [&](double f, double phase) {
                double v = 128 + 70 * std::sin(x * f + y * f * 0.7 + phase + seed) + 40 * std::sin(y * f * 3.1 + phase);
                return std::clamp(static_cast<int>(v) + grain, 0, 255);
            };
            row[x] = static_cast<std::uint32_t>(c(0.004, 0) << 16 | c(0.006, 2) << 8 | c(0.003, 4));
        }
    }
    cairo_surface_mark_dirty(s);
    return withJpeg(s, 85);
}

// A scanned page at 150 dpi: off-white paper with a shading gradient, lines of ink, scanner noise.
inline cairo_surface_t* scan(int seed, int w, int h) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, w, h);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.97, 0.95, 0.90);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.86, 0.84, 0.78);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);
    std::uint32_t r = 77u + static_cast<std::uint32_t>(seed);
    cairo_set_source_rgb(cr, 0.12, 0.12, 0.16);
    for (int line = 0; line < 48; ++line)
        for (double x = 90; x < w - 90;) {
            double word = 12 + (nextRandom(r) >> 27);
            cairo_rectangle(cr, x, 110 + line * 33, word, 13 + (nextRandom(r) >> 30));
            x += word + 7;
        }
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    auto* px = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y) {
        auto* row = px + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < w * 4; ++x) {
            if (x % 4 == 3) continue;
            int v = row[x] + static_cast<int>(nextRandom(r) >> 29) - 4;
            row[x] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
        }
    }
    cairo_surface_mark_dirty(s);
    return withJpeg(s, 80);
}

inline void bodyText(cairo_t* cr, double top, int lines) {
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_select_font_face(cr, "serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 9.5);
    for (int line = 0; line < lines; ++line) {
        cairo_move_to(cr, 54, top + line * 12.5);
        cairo_show_text(
            cr, "The quick brown fox jumps over the lazy dog; 0123456789 — pack my box with five dozen liquor jugs.");
    }
}

inline void drawing(cairo_t* cr, double w, double h) {
    cairo_pattern_t* g = cairo_pattern_create_linear(0, h / 2, w, h);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.9, 0.4, 0.1);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.1, 0.4, 0.9);
    for (int i = 0; i < 24; ++i)
        cairo_rectangle(cr, 54 + i * 21, h - 60 - (i * 37 % 150) - 20, 16, (i * 37 % 150) + 20);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    cairo_set_line_width(cr, 1.2);
    for (int k = 0; k < 120; ++k) {
        cairo_set_source_rgba(cr, 0.2 + k / 300.0, 0.6, 0.3, 0.6);
        cairo_move_to(cr, 54, 100 + k * 4);
        cairo_curve_to(cr, w / 3, 40 + k * 5, 2 * w / 3, 300 - k * 2, w - 54, 120 + k * 4);
        cairo_stroke(cr);
    }
}

// Pages in turn: text, a vector drawing, a photo with a caption, a scan.
inline void mixedPage(cairo_t* cr, int page, double w, double h) {
    switch (page % 4) {
        case 0:
            bodyText(cr, 60, 56);
            break;
        case 1:
            bodyText(cr, 60, 8);
            drawing(cr, w, h);
            break;
        case 2: {
            bodyText(cr, h - 120, 5);
            cairo_surface_t* p = photo(page, 1400, 1050);
            cairo_save(cr);
            cairo_translate(cr, 54, 60);
            cairo_scale(cr, (w - 108) / 1400.0, (w - 108) / 1400.0);
            cairo_set_source_surface(cr, p, 0, 0);
            cairo_paint(cr);
            cairo_restore(cr);
            cairo_surface_destroy(p);
            break;
        }
        default: {
            cairo_surface_t* p = scan(page, 1275, 1650);
            cairo_save(cr);
            cairo_scale(cr, w / 1275.0, h / 1650.0);
            cairo_set_source_surface(cr, p, 0, 0);
            cairo_paint(cr);
            cairo_restore(cr);
            cairo_surface_destroy(p);
        }
    }
}

inline common::Bytes mixedDocument() {
    namespace fs = std::filesystem;
    fs::path cache = fs::read_symlink("/proc/self/exe").parent_path() / "pdf_import_mixed_v2.pdf";
    if (fs::exists(cache)) {
        std::ifstream in(cache, std::ios::binary);
        return common::Bytes(std::istreambuf_iterator<char>(in), {});
    }
    common::Bytes pdf = renderfixtures::makePdf(std::vector<std::pair<double, double>>(120, {612, 792}), mixedPage);
    fs::path partial = cache.string() + ".part";
    std::ofstream(partial, std::ios::binary)
        .write(reinterpret_cast<const char*>(pdf.data()), static_cast<std::streamsize>(pdf.size()));
    fs::rename(partial, cache);
    return pdf;
}

// A PDF of about size bytes: two pages of the mixed document's kinds (text, a photo), and the
// bulk in a stream of random bytes that no page uses, so that its pages render as quickly as any.
inline common::Bytes bigPdf(std::size_t size) {
    common::Bytes pdf = renderfixtures::makePdf(
        {{612, 792}, {612, 792}},
        [](cairo_t* cr, int page, double w, double h) { mixedPage(cr, page == 0 ? 2 : 0, w, h); });
    // An object appended after the file's end, with a cross-reference section of its own that
    // points back to the first (an incremental update, as editors write them).
    std::string tail(reinterpret_cast<const char*>(pdf.data()), pdf.size());
    std::size_t at = tail.rfind("startxref");
    long prevXref = std::atol(tail.c_str() + at + 10);
    std::size_t sizeAt = tail.rfind("/Size ");
    int objects = std::atoi(tail.c_str() + sizeAt + 6);
    std::string root =
        tail.substr(tail.rfind("/Root "), tail.find(" R", tail.rfind("/Root ")) + 2 - tail.rfind("/Root "));
    std::size_t fill = size > pdf.size() + 1024 ? size - pdf.size() - 1024 : 0;
    std::size_t objAt = pdf.size();
    std::string head = std::to_string(objects) + " 0 obj\n<< /Length " + std::to_string(fill) + " >>\nstream\n";
    pdf.insert(pdf.end(), head.begin(), head.end());
    std::uint32_t r = 7;
    for (std::size_t i = 0; i < fill; ++i) pdf.push_back(static_cast<std::uint8_t>(nextRandom(r) >> 24));
    char xref[160];
    std::snprintf(xref, sizeof xref, "\nendstream\nendobj\n");
    std::string end = xref;
    std::size_t xrefAt = objAt + head.size() + fill + end.size();
    std::snprintf(xref, sizeof xref, "xref\n%d 1\n%010zu 00000 n \n", objects, objAt);
    end += xref;
    end += "trailer\n<< /Size " + std::to_string(objects + 1) + " " + root + " /Prev " + std::to_string(prevXref) +
           " >>\nstartxref\n" + std::to_string(xrefAt) + "\n%%EOF\n";
    pdf.insert(pdf.end(), end.begin(), end.end());
    return pdf;
}

}  // namespace pdfimport
