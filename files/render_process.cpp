#include "files/render_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "common/log.h"
#include "files/render_page.h"
#include "files/render_wire.h"

extern char** environ;

namespace files {
namespace {

using Clock = std::chrono::steady_clock;

struct Helper {
    pid_t pid = -1;
    int out = -1;  // read end of its standard output
    bool alive = false;
    int spawnError = 0;  // why it could not be started
};

// Reads exactly size bytes before the deadline; false on end of stream, error, time-out or abandon.
bool readExact(int fd, void* data, std::size_t size, Clock::time_point deadline, const std::atomic<bool>& abandon) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        if (abandon) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd pfd{fd, POLLIN, 0};
        // Short slices, so that abandoning is noticed while a slow page renders.
        int ready = poll(&pfd, 1, static_cast<int>(std::min<long long>(left, 100)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) continue;
        if (ready < 0) return false;
        ssize_t n = read(fd, p, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

int newPdfFile() { return memfd_create("tavrik-pdf", MFD_CLOEXEC | MFD_ALLOW_SEALING); }

bool writeAll(int fd, const std::uint8_t* p, std::size_t left) {
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Both helpers map the same bytes, and neither can change them under the other.
int sealed(int fd) {
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return fd;
}

Helper spawnHelper(const RenderLimits& limits, int input, int first, int stride) {
    Helper h;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        h.spawnError = errno;
        return h;
    }
    // A larger pipe lets a helper hand over a whole page and start the next one while the shell
    // is still reading the other helper's page.
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);

    std::string a1 = std::to_string(first), a2 = std::to_string(stride), a3 = std::to_string(limits.memoryMb),
                a4 = std::to_string(limits.pageCpu.count()),
                a5 = limits.sandbox == RenderLimits::Sandbox::On ? "1" : "0";
    std::string a0 = wire::kHelperName;
    char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), a4.data(), a5.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    // poppler reports every syntax error of a broken file on standard error.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Nothing else of the shell's (sockets, the display, other requests' pipes) reaches the helper.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Default signal dispositions and an empty mask, whatever this thread has blocked.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    int rc = posix_spawn(&pid, limits.helperPath.c_str(), &actions, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        h.spawnError = rc;
        return h;
    }
    h.pid = pid;
    h.out = fds[0];
    h.alive = true;
    if (limits.spawned) limits.spawned(pid);
    return h;
}

void stop(Helper& h) {
    if (h.pid > 0 && h.alive) kill(h.pid, SIGKILL);
    h.alive = false;
}

// Ends the helper if it has not exited yet, and reaps it.
void finish(Helper& h) {
    if (h.out >= 0) close(h.out);
    h.out = -1;
    if (h.pid > 0) {
        int status = 0;
        pid_t r;
        while ((r = waitpid(h.pid, &status, WNOHANG)) < 0 && errno == EINTR) {
        }
        if (r == 0) {
            kill(h.pid, SIGKILL);
            while (waitpid(h.pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    h.pid = -1;
    h.alive = false;
}

constexpr int kLockedTotal = -2;

// The total the helper announces once it has opened the document; -1 (and the helper stopped)
// when none comes in time, kLockedTotal for a document that needs a password.
int readTotal(Helper& h, const RenderLimits& limits) {
    std::uint32_t head[2];
    if (!h.alive || !readExact(h.out, head, sizeof head, Clock::now() + limits.pageTimeout, *limits.abandon) ||
        head[0] != wire::kMagic || (head[1] > static_cast<std::uint32_t>(kPageLimit) && head[1] != wire::kLocked)) {
        stop(h);
        return -1;
    }
    return head[1] == wire::kLocked ? kLockedTotal : static_cast<int>(head[1]);
}

// A helper that died is replaced this many times per request, so that one crashing or endless
// page costs only that page, while a file that crashes on every page cannot keep respawning.
constexpr int kMaxRestarts = 4;

// Renders from a sealed memory file, which it closes.
RenderEnd renderSealed(int input, const RenderLimits& limits,
                       const std::function<void(int, int, common::Bytes)>& page) {
    if (input < 0) return RenderEnd::Done;
    int count = std::max(1, limits.processes);
    std::vector<Helper> helpers;
    for (int k = 0; k < count; ++k) helpers.push_back(spawnHelper(limits, input, k, count));
    // A helper that cannot even start (not installed where it is looked for) fails every request
    // alike, with nothing to see on the page: say where it was looked for, once per request.
    for (auto& h : helpers)
        if (h.spawnError) {
            common::log::warning("PDF render helper " + limits.helperPath +
                                 " could not be started: " + std::strerror(h.spawnError));
            break;
        }

    // Every helper opens the document and announces the same total; the first answer counts.
    int total = -1;
    for (auto& h : helpers) {
        int n = readTotal(h, limits);
        if (total == -1) total = n;
    }

    int restarts = 0;
    for (int i = 0; i < total; ++i) {
        Helper& h = helpers[static_cast<std::size_t>(i % count)];
        if (!h.alive) {
            // This page's helper died on an earlier page: a fresh one goes on from here.
            if (restarts == kMaxRestarts || *limits.abandon) continue;
            ++restarts;
            finish(h);
            h = spawnHelper(limits, input, i, count);
            if (readTotal(h, limits) != total) {
                stop(h);
                continue;
            }
        }
        auto deadline = Clock::now() + limits.pageTimeout;
        std::uint32_t head[2];
        if (!readExact(h.out, head, sizeof head, deadline, *limits.abandon) ||
            head[0] != static_cast<std::uint32_t>(i) || head[1] > wire::kMaxFrame) {
            stop(h);  // crashed, killed, out of memory or time on page i: the page is skipped
            continue;
        }
        if (head[1] == 0) continue;  // the page failed to render
        common::Bytes jpeg(head[1]);
        if (!readExact(h.out, jpeg.data(), jpeg.size(), deadline, *limits.abandon)) {
            stop(h);
            continue;
        }
        page(i, total, std::move(jpeg));
    }

    // Every page wanted has been read.
    for (auto& h : helpers) finish(h);
    close(input);
    return total == kLockedTotal ? RenderEnd::Locked : RenderEnd::Done;
}

}  // namespace

RenderEnd renderIsolated(const common::Bytes& pdf, const RenderLimits& limits,
                         const std::function<void(int, int, common::Bytes)>& page) {
    PdfUpload upload;
    upload.append(pdf.data(), pdf.size());
    return renderIsolated(std::move(upload), limits, page);
}

PdfUpload::PdfUpload() : fd_(newPdfFile()), failed_(fd_ < 0) {}

PdfUpload::~PdfUpload() {
    if (fd_ >= 0) close(fd_);
}

PdfUpload::PdfUpload(PdfUpload&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), failed_(other.failed_), size_(other.size_) {}

PdfUpload& PdfUpload::operator=(PdfUpload&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        failed_ = other.failed_;
        size_ = other.size_;
    }
    return *this;
}

void PdfUpload::append(const std::uint8_t* data, std::size_t size) {
    if (failed_ || size == 0) return;
    if (!writeAll(fd_, data, size)) {
        common::log::warning(std::string("a PDF upload could not be kept: ") + std::strerror(errno));
        failed_ = true;
        return;
    }
    size_ += size;
}

RenderEnd renderIsolated(PdfUpload upload, const RenderLimits& limits,
                         const std::function<void(int, int, common::Bytes)>& page) {
    if (upload.failed_ || upload.size_ == 0) return RenderEnd::Done;
    return renderSealed(sealed(std::exchange(upload.fd_, -1)), limits, page);
}

std::string defaultHelperPath() {
    // Lets tests and developers run the shell from another program or folder.
    if (const char* env = std::getenv("TAVRIK_RENDER_HELPER"); env && *env) return env;
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return wire::kHelperName;
    std::string exe(buf, static_cast<std::size_t>(n));
    std::string dir = exe.substr(0, exe.rfind('/'));
    std::string beside = dir + "/" + wire::kHelperName;
    if (access(beside.c_str(), X_OK) == 0) return beside;
    // Installed: where the build put the helper relative to the binary, so that any prefix
    // chosen at install time (and the package's /usr) finds it.
    return dir + "/" + TAVRIK_HELPER_FROM_BINDIR + "/" + wire::kHelperName;
}

}  // namespace files
