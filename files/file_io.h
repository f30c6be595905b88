// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Replacing whole files. Every write goes to a temporary file in the target's folder, named
// ".<name>.tavrik-XXXXXX", that is flushed to the disk and renamed over the target only when
// complete, so the target's name only ever holds the old file or the whole new one. A file is never
// written in place: where no temporary file can be made beside it, the write fails and the old file
// is left as it was. A target with other hard links becomes a new file of its own; the other names
// keep the old contents.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/result.h"

namespace files {

enum class FileMode {
    Usual,    // a replaced file keeps its permissions; a new one gets 0666 less the umask
    Private,  // 0600 whatever was there before: the file holds secrets
};

common::Status replaceFile(const std::string& path, const std::uint8_t* data, std::size_t size,
                           FileMode mode = FileMode::Usual);
inline common::Status replaceFile(const std::string& path, const common::Bytes& b, FileMode mode = FileMode::Usual) {
    return replaceFile(path, b.data(), b.size(), mode);
}

// A replacement written piece by piece (a PDF as cairo produces it). Nothing changes at the target
// until commit() succeeds; dropping the object uncommitted discards what was written.
class ReplaceStream {
public:
    static common::Result<std::unique_ptr<ReplaceStream>> open(const std::string& path,
                                                               FileMode mode = FileMode::Usual);
    virtual ~ReplaceStream() = default;
    virtual common::Status write(const std::uint8_t* data, std::size_t size) = 0;
    virtual common::Status commit() = 0;
};

// Whether a file name has the form of our temporary files.
bool isTemporaryName(std::string_view name);

// Removes from `folder` the temporary files of writes that ended before this process started (the
// writer was killed or crashed): only regular files of ours with the temporary form of name. A write
// of this process, or of another one still running, is newer and stays. Returns how many went.
// Every write sweeps its folder this way the first time it goes there.
std::size_t sweepTemporaries(const std::string& folder);

}  // namespace files
