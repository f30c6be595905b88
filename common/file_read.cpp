// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace common {

Result<Bytes> readRegularFile(const std::string& path, std::size_t maxBytes) {
    // O_NONBLOCK keeps a FIFO's open from waiting for a writer; it is refused just below.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Error{Error::Kind::Io, "cannot open"};
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return Error{Error::Kind::Io, "not a regular file"};

    const std::size_t limit = maxBytes == std::numeric_limits<std::size_t>::max() ? maxBytes : maxBytes + 1;
    // The size is a hint only: the file may grow or shrink while it is read.
    Bytes out(std::min<std::size_t>(limit, static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)) + 1));
    std::size_t got = 0;
    while (got < limit) {
        if (got == out.size()) out.resize(std::min(limit, std::max<std::size_t>(out.size() * 2, 1 << 16)));
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Error{Error::Kind::Io, "read failed"};
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return out;
}

}  // namespace common
