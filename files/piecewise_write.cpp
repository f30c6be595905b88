// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/piecewise_write.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace files {
namespace {

common::Error ioError(const std::string& what) {
    return common::Error{common::Error::Kind::Io, what + ": " + std::strerror(errno)};
}

common::Error closed() { return common::Error{common::Error::Kind::Io, "the write has ended"}; }

}  // namespace

common::Status PiecewiseWrite::fail(common::Error error) {
    discard();
    failed_ = error;
    return error;
}

common::Status PiecewiseWrite::open(const std::string& path) {
    if (failed_) return *failed_;
    if (done_ || target_ || spool_) return fail(closed());
    auto stream = ReplaceStream::open(path);
    if (!stream) return fail(stream.error());
    target_ = std::move(*stream);
    return common::Ok{};
}

common::Status PiecewiseWrite::spool() {
    if (failed_) return *failed_;
    if (done_ || target_ || spool_) return fail(closed());
    // Memory the page's board already takes once; it never reaches a disk that may be full.
    spool_.reset(memfd_create("tavrik-board", MFD_CLOEXEC));
    if (!spool_) return fail(ioError("cannot keep the board while the chooser is open"));
    return common::Ok{};
}

common::Status PiecewiseWrite::write(std::string_view piece) {
    if (failed_) return *failed_;
    if (target_) {
        if (auto written = target_->write(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()); !written)
            return fail(written.error());
        return common::Ok{};
    }
    if (!spool_) return fail(closed());
    if (!common::writeAll(spool_.get(), piece.data(), piece.size()))
        return fail(ioError("cannot keep the board while the chooser is open"));
    return common::Ok{};
}

common::Status PiecewiseWrite::moveTo(const std::string& path) {
    if (failed_) return *failed_;
    if (!spool_ || target_) return fail(closed());
    auto stream = ReplaceStream::open(path);
    if (!stream) return fail(stream.error());
    target_ = std::move(*stream);
    std::vector<std::uint8_t> block(4u << 20);
    for (off_t at = 0;;) {
        ssize_t n = ::pread(spool_.get(), block.data(), block.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(ioError("cannot read the board back"));
        if (n == 0) break;
        if (auto written = target_->write(block.data(), static_cast<std::size_t>(n)); !written)
            return fail(written.error());
        at += n;
    }
    spool_.reset();
    return common::Ok{};
}

common::Status PiecewiseWrite::commit() {
    if (failed_) return *failed_;
    if (!target_) return fail(closed());
    auto committed = target_->commit();
    target_.reset();
    if (!committed) return fail(committed.error());
    done_ = true;
    return common::Ok{};
}

void PiecewiseWrite::discard() {
    target_.reset();
    spool_.reset();
    done_ = true;
}

}  // namespace files
