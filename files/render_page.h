// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What one rendered page looks like: the limits and sizes shared by the renderer and its callers.
#include <cstdint>
#include <optional>

#include "common/bytes.h"

namespace files {

inline constexpr int kPageLimit = 120;       // pages rendered per request; later pages never are
inline constexpr double kLongSide = 1920;    // the longer side of the page box, in pixels
inline constexpr double kFallbackScale = 2;  // for a box without a positive side
inline constexpr int kPageJpegQuality = 90;

struct PageImageSize {
    int width = 0;
    int height = 0;
};

// The image size of a page box of w × h points: its longer side scaled to 1920. Nothing when the
// image would have no pixels (an empty or nonsensical box): such a page is skipped.
std::optional<PageImageSize> pagePixels(double w, double h);

// Baseline JPEG of a cairo ARGB32/RGB24 image (native-endian 32-bit pixels, alpha ignored).
std::optional<common::Bytes> encodePageJpeg(const std::uint8_t* pixels, int width, int height, int stride, int quality);

}  // namespace files
