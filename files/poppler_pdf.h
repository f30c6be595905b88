// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One PDF opened with poppler, rendered page by page to JPEG. Runs in the render helper process
// only: poppler on a crafted file may crash or allocate without bound.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "common/bytes.h"

namespace files {

class PopplerPdf {
public:
    // The bytes must outlive the document. Nothing when they are not a PDF poppler can open; then
    // locked, if given, says whether it is one that needs a password.
    static std::unique_ptr<PopplerPdf> open(const std::uint8_t* data, std::size_t size, bool* locked = nullptr);
    ~PopplerPdf();
    PopplerPdf(const PopplerPdf&) = delete;
    PopplerPdf& operator=(const PopplerPdf&) = delete;

    // Reads fontconfig's configuration and caches now rather than at the first page with text.
    static void warmFonts();

    int pageCount() const;
    // The page's box scaled so its longer side is 1920, on opaque white, as JPEG quality 90.
    // Nothing when the page is missing, empty or fails to draw or encode.
    std::optional<common::Bytes> renderJpeg(int index) const;

private:
    struct Impl;
    explicit PopplerPdf(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace files
