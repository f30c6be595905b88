#pragma once
// Replacing whole files. Every write goes to a temporary file beside the target that
// is renamed over it only when complete, so a failed write leaves the old file as it was.
#include <cstddef>
#include <memory>
#include <string>

#include "common/bytes.h"
#include "common/result.h"

namespace files {

common::Status replaceFile(const std::string& path, const std::uint8_t* data, std::size_t size);
inline common::Status replaceFile(const std::string& path, const common::Bytes& b) {
    return replaceFile(path, b.data(), b.size());
}

// A replacement written piece by piece (a PDF as cairo produces it). Nothing changes at the target
// until commit() succeeds; dropping the object uncommitted discards what was written.
class ReplaceStream {
public:
    static common::Result<std::unique_ptr<ReplaceStream>> open(const std::string& path);
    virtual ~ReplaceStream() = default;
    virtual common::Status write(const std::uint8_t* data, std::size_t size) = 0;
    virtual common::Status commit() = 0;
};

}  // namespace files
