// SPDX-License-Identifier: GPL-3.0-or-later
// Written on the system calls themselves: g_file_replace falls back to writing in place, truncating
// the old file first, whenever it cannot create its temporary file beside the target (a folder that is
// not writable, a full disk), and names its temporaries ".goutputstream-*", which nothing removes.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "files/file_io.h"

namespace files {
namespace {

constexpr std::string_view kMarker = ".tavrik-";
constexpr std::size_t kRandom = 6;  // the XXXXXX of mkostemp
constexpr std::size_t kNameMax = 255;

std::string errnoText(int err) {
    char buffer[256];
    return strerror_r(err, buffer, sizeof buffer);  // the GNU form: returns the text
}

common::Error ioError(const std::string& what, int err) {
    return common::Error{common::Error::Kind::Io, what + ": " + errnoText(err)};
}

// The real time at which this process started: /proc gives it in clock ticks since boot. Read at
// every sweep (they are few), so that a forked child has its own.
struct timespec processStart() {
    struct timespec now {
    }, boot{};
    clock_gettime(CLOCK_REALTIME, &now);
    clock_gettime(CLOCK_BOOTTIME, &boot);
    std::ifstream in("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto close = text.rfind(')');
    long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (close == std::string::npos || ticksPerSecond <= 0) return now;
    // After the command name: state is field 3, starttime field 22.
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i != 22) continue;
        double started = std::strtod(field.c_str(), nullptr) / static_cast<double>(ticksPerSecond);
        double age = static_cast<double>(boot.tv_sec) + static_cast<double>(boot.tv_nsec) / 1e9 - started;
        double at = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - age;
        struct timespec start {};
        start.tv_sec = static_cast<time_t>(at);
        start.tv_nsec = static_cast<long>((at - static_cast<double>(start.tv_sec)) * 1e9);
        return start;
    }
    return now;
}

bool olderThan(const struct stat& st, const struct timespec& start) {
    if (st.st_mtim.tv_sec != start.tv_sec) return st.st_mtim.tv_sec < start.tv_sec;
    return st.st_mtim.tv_nsec < start.tv_nsec;
}

// Each folder is swept once per run: later temporaries there are this process's own.
void sweepOnce(const std::string& folder) {
    static std::mutex mutex;
    static std::set<std::string> swept;
    {
        std::lock_guard lock(mutex);
        if (!swept.insert(folder).second) return;
    }
    sweepTemporaries(folder);
}

// 0666 less the umask, read without changing it (umask() is process-wide, and other threads write).
mode_t newFileMode() {
    static const mode_t mode = [] {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("Umask:", 0) == 0)
                return static_cast<mode_t>(0666 & ~std::strtol(line.c_str() + 6, nullptr, 8));
        return static_cast<mode_t>(0644);
    }();
    return mode;
}

struct Target {
    std::string path;    // the file the name leads to: a symbolic link's target is replaced, not the link
    std::string folder;  // where the temporary file goes
    std::string name;
    bool existed = false;
    struct stat st {};
};

common::Result<Target> resolve(const std::string& chosen) {
    Target t;
    t.path = chosen;
    struct stat st {};
    if (lstat(chosen.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = realpath(chosen.c_str(), nullptr)) {
            t.path = resolved;
            std::free(resolved);
        }
    }
    auto slash = t.path.rfind('/');
    t.folder = slash == std::string::npos ? "." : slash == 0 ? "/" : t.path.substr(0, slash);
    t.name = slash == std::string::npos ? t.path : t.path.substr(slash + 1);
    if (t.name.empty()) return common::Error{common::Error::Kind::Io, "cannot write " + chosen + ": not a file name"};
    if (lstat(t.path.c_str(), &t.st) == 0) {
        t.existed = true;
        if (!S_ISREG(t.st.st_mode))
            return common::Error{common::Error::Kind::Io, "cannot replace " + t.path + ": it is not a regular file"};
        // Renaming would go through a read-only or immutable file; the user protected it.
        if (access(t.path.c_str(), W_OK) != 0) return ioError("cannot replace " + t.path, errno);
    } else if (errno != ENOENT) {
        return ioError("cannot write " + t.path, errno);
    }
    return t;
}

void syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // some file systems refuse it for folders; the rename itself is done either way
    ::close(fd);
}

class AtomicReplaceStream final : public ReplaceStream {
public:
    AtomicReplaceStream(Target target, std::string temp, int fd, FileMode mode)
        : target_(std::move(target)), temp_(std::move(temp)), fd_(fd), mode_(mode) {}

    ~AtomicReplaceStream() override {
        if (fd_ >= 0) ::close(fd_);
        if (!committed_) unlink(temp_.c_str());
    }

    common::Status write(const std::uint8_t* data, std::size_t size) override {
        if (fd_ < 0) return common::Error{common::Error::Kind::Io, "cannot write " + target_.path + ": closed"};
        while (size > 0) {
            ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return ioError("cannot write " + target_.path, errno);
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return common::Ok{};
    }

    common::Status commit() override {
        if (fd_ < 0) return common::Error{common::Error::Kind::Io, "cannot write " + target_.path + ": closed"};
        applyMode();
        // The data reaches the disk before the name does, so a crash leaves the old file or the new one.
        if (fsync(fd_) != 0) return ioError("cannot write " + target_.path, errno);
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) return ioError("cannot write " + target_.path, errno);
        if (rename(temp_.c_str(), target_.path.c_str()) != 0) return ioError("cannot replace " + target_.path, errno);
        committed_ = true;
        syncFolder(target_.folder);
        return common::Ok{};
    }

private:
    void applyMode() {
        if (mode_ == FileMode::Private) {
            fchmod(fd_, 0600);
            return;
        }
        if (!target_.existed) {
            fchmod(fd_, newFileMode());
            return;
        }
        // The replaced file's owner and group where we may give them (root, or a group of ours), and
        // its permissions without set-id bits.
        if (target_.st.st_uid != geteuid() || target_.st.st_gid != getegid())
            if (fchown(fd_, target_.st.st_uid, target_.st.st_gid) != 0 && fchown(fd_, -1, target_.st.st_gid) != 0) {
                // Another owner's file becomes ours, as in any editor that saves by renaming.
            }
        fchmod(fd_, target_.st.st_mode & 0777);
    }

    Target target_;
    std::string temp_;
    int fd_;
    FileMode mode_;
    bool committed_ = false;
};

}  // namespace

bool isTemporaryName(std::string_view name) {
    // "." + at least one character + ".tavrik-" + six of mkostemp's letters and digits.
    if (name.size() < 2 + kMarker.size() + kRandom || name[0] != '.') return false;
    std::size_t marker = name.size() - kRandom - kMarker.size();
    if (name.substr(marker, kMarker.size()) != kMarker) return false;
    for (char c : name.substr(name.size() - kRandom))
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

std::size_t sweepTemporaries(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return 0;
    std::size_t removed = 0;
    const struct timespec start = processStart();
    int fd = dirfd(dir);
    while (struct dirent* entry = readdir(dir)) {
        if (!isTemporaryName(entry->d_name)) continue;
        struct stat st {};
        if (fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != geteuid() || !olderThan(st, start)) continue;
        if (unlinkat(fd, entry->d_name, 0) == 0) ++removed;
    }
    closedir(dir);
    return removed;
}

common::Status replaceFile(const std::string& path, const std::uint8_t* data, std::size_t size, FileMode mode) {
    auto stream = ReplaceStream::open(path, mode);
    if (!stream) return stream.error();
    if (auto s = (*stream)->write(data, size); !s) return s;
    return (*stream)->commit();
}

common::Result<std::unique_ptr<ReplaceStream>> ReplaceStream::open(const std::string& chosen, FileMode mode) {
    auto target = resolve(chosen);
    if (!target) return target.error();
    sweepOnce(target->folder);
    // A name near the limit is shortened in the temporary's name only; the marker must stay whole.
    std::string stem = target->name.substr(0, kNameMax - 1 - kMarker.size() - kRandom);
    std::string temp = target->folder + "/." + stem + std::string(kMarker) + std::string(kRandom, 'X');
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return ioError("cannot create a temporary file in " + target->folder, errno);
    return std::unique_ptr<ReplaceStream>(
        std::make_unique<AtomicReplaceStream>(std::move(target.value()), std::move(temp), fd, mode));
}

}  // namespace files
