// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading a whole file that something outside the program named: a dropped file, a document the
// user chose. Only regular files are read, and never much past a limit, so a FIFO, a device such as
// /dev/zero or a huge file can neither hang the caller nor fill memory.
#include <cstddef>
#include <string>

#include "common/bytes.h"
#include "common/result.h"

namespace common {

// At most maxBytes + 1 bytes: a result longer than maxBytes tells the caller "too big" without
// the whole file in memory. An error for a file that cannot be opened or read, or is not regular.
Result<Bytes> readRegularFile(const std::string& path, std::size_t maxBytes);

}  // namespace common
