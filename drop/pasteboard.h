// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a drop or clipboard offers, read in the few shapes item collection understands.
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace drop {

class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    // The offered formats as MIME types, in the source's order.
    virtual std::vector<std::string> formats() const = 0;
    // Local paths of the offered file URLs, in order; other URLs are not files and never appear.
    virtual std::vector<std::string> filePaths() const = 0;
    // The offered URLs that are not local files (a browser's links), in order.
    virtual std::vector<std::string> links() const = 0;
    // One encoded image (PNG or TIFF) as the source sent it.
    virtual std::optional<common::Bytes> imageData() const = 0;
    // Plain text, already converted to UTF-8.
    virtual std::optional<std::string> plainText() const = 0;
    virtual std::optional<common::Bytes> rtfData() const = 0;
    virtual std::optional<common::Bytes> htmlData() const = 0;
};

// A pasteboard held in memory: what tests build by hand, and what a drop is read into before
// its items are collected.
struct MemoryPasteboard final : Pasteboard {
    std::vector<std::string> offered;
    std::vector<std::string> files;
    std::vector<std::string> linked;
    std::optional<common::Bytes> image;
    std::optional<std::string> plain;
    std::optional<common::Bytes> rtf;
    std::optional<common::Bytes> html;

    std::vector<std::string> formats() const override { return offered; }
    std::vector<std::string> filePaths() const override { return files; }
    std::vector<std::string> links() const override { return linked; }
    std::optional<common::Bytes> imageData() const override { return image; }
    std::optional<std::string> plainText() const override { return plain; }
    std::optional<common::Bytes> rtfData() const override { return rtf; }
    std::optional<common::Bytes> htmlData() const override { return html; }
};

}  // namespace drop
