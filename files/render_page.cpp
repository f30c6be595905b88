// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/render_page.h"

#include <jpeglib.h>  // after <cstdio>: it needs FILE and size_t

#include <cmath>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace files {

std::optional<PageImageSize> pagePixels(double w, double h) {
    if (!std::isfinite(w) || !std::isfinite(h)) return std::nullopt;
    double m = std::max(w, h);
    double s = m > 0 ? kLongSide / m : kFallbackScale;
    // A positive side keeps at least one pixel, so a 14,400 × 1 pt strip still renders.
    auto side = [s](double points) { return points > 0 ? std::max(1L, std::lround(points * s)) : 0L; };
    long pw = side(w), ph = side(h);
    if (pw <= 0 || ph <= 0 || pw > 4 * kLongSide || ph > 4 * kLongSide) return std::nullopt;
    return PageImageSize{static_cast<int>(pw), static_cast<int>(ph)};
}

namespace {

// libjpeg reports fatal errors by calling error_exit, which by default ends the process.
struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void onJpegError(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void onJpegMessage(j_common_ptr) {}

}  // namespace

std::optional<common::Bytes> encodePageJpeg(const std::uint8_t* pixels, int width, int height, int stride,
                                            int quality) {
    if (!pixels || width <= 0 || height <= 0 || stride < width * 4) return std::nullopt;
    jpeg_compress_struct cinfo{};
    JpegError err{};
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = onJpegError;
    err.mgr.output_message = onJpegMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(out);
        return std::nullopt;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 4;
    // cairo's pixels are 32-bit words 0xXXRRGGBB: B, G, R, X in memory on little-endian machines.
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    cinfo.in_color_space = JCS_EXT_BGRX;
#else
    cinfo.in_color_space = JCS_EXT_XRGB;
#endif
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + static_cast<std::size_t>(cinfo.next_scanline) * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    common::Bytes bytes(out, out + outSize);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}

}  // namespace files
