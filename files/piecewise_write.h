// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file written piece by piece whose name may come only after its first pieces: a board sent in
// pieces while its save chooser is still open. Until the name comes, the pieces wait in an
// anonymous memory file; then they are copied beside the target and the rest goes straight there.
// Nothing changes at the target until commit() succeeds (see ReplaceStream); discard() or dropping
// the object leaves no file behind. The first failure sticks: later calls return it and do nothing.
// One thread at a time.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "common/unique_fd.h"
#include "files/file_io.h"

namespace files {

class PiecewiseWrite {
public:
    // Begins with the target known (a save in place), or without it (the chooser is open).
    common::Status open(const std::string& path);
    common::Status spool();
    common::Status write(std::string_view piece);
    // The target, once known: what was spooled moves beside it.
    common::Status moveTo(const std::string& path);
    // Flushes, and renames the whole file over the target.
    common::Status commit();
    // Gives the write up: the spool and the temporary file beside the target go.
    void discard();

private:
    common::Status fail(common::Error error);

    std::unique_ptr<ReplaceStream> target_;
    common::UniqueFd spool_;
    std::optional<common::Error> failed_;
    bool done_ = false;
};

}  // namespace files
