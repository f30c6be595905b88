// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/render_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "common/log.h"
#include "common/unique_fd.h"
#include "files/render_page.h"
#include "files/render_wire.h"

extern char** environ;

namespace files {
namespace {

using Clock = std::chrono::steady_clock;

// A started helper: killed if it is still running, and reaped, when its owner lets go of it.
class ChildProcess {
public:
    ChildProcess() = default;
    explicit ChildProcess(pid_t pid) noexcept : pid_(pid) {}
    ~ChildProcess() { end(); }
    ChildProcess(ChildProcess&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}
    ChildProcess& operator=(ChildProcess&& other) noexcept {
        if (this != &other) {
            end();
            pid_ = std::exchange(other.pid_, -1);
        }
        return *this;
    }

    // Ends it now; it is reaped when let go of.
    void kill() const noexcept {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
    }

    // The CPU time it has used so far, read from outside: nothing the helper does can stop the
    // count. Negative when it cannot be read.
    std::chrono::nanoseconds cpu() const noexcept {
        clockid_t clock;
        timespec t{};
        if (pid_ <= 0 || clock_getcpuclockid(pid_, &clock) != 0 || clock_gettime(clock, &t) != 0)
            return std::chrono::nanoseconds(-1);
        return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
    }

private:
    void end() noexcept {
        if (pid_ <= 0) return;
        int status = 0;
        pid_t r;
        while ((r = waitpid(pid_, &status, WNOHANG)) < 0 && errno == EINTR) {
        }
        if (r == 0) {
            ::kill(pid_, SIGKILL);
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
        }
        pid_ = -1;
    }

    pid_t pid_ = -1;
};

struct Helper {
    ChildProcess process;
    common::UniqueFd out;  // read end of its standard output
    bool alive = false;
    int spawnError = 0;  // why it could not be started
};

// How long the shell waits for one page: until the wall-clock deadline, and while the helper has
// used less than the page's CPU time since the wait began. A helper that is a page ahead started
// that page earlier, so a page may take up to about twice its CPU time before it is given up.
struct PageWait {
    Clock::time_point deadline;
    const ChildProcess* process;
    std::chrono::nanoseconds cpuUntil;

    PageWait(const Helper& h, const RenderLimits& limits)
        : deadline(Clock::now() + limits.pageTimeout), process(&h.process), cpuUntil(h.process.cpu()) {
        cpuUntil = cpuUntil.count() < 0 ? std::chrono::nanoseconds::max() : cpuUntil + limits.pageCpu;
    }
    bool overBudget() const { return process->cpu() > cpuUntil; }
};

// Reads exactly size bytes in time; false on end of stream, error, time-out, CPU budget spent or
// abandon.
bool readExact(int fd, void* data, std::size_t size, const PageWait& wait, const std::atomic<bool>& abandon) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        if (abandon || wait.overBudget()) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(wait.deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd pfd{fd, POLLIN, 0};
        // Short slices, so that abandoning and a spent budget are noticed while a slow page renders.
        int ready = poll(&pfd, 1, static_cast<int>(std::min<long long>(left, 50)));
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

common::UniqueFd newPdfFile() { return common::UniqueFd(memfd_create("tavrik-pdf", MFD_CLOEXEC | MFD_ALLOW_SEALING)); }

// Both helpers map the same bytes, and neither can change them under the other: a file that
// cannot be sealed is not handed over.
common::UniqueFd sealed(common::UniqueFd fd) {
    if (fcntl(fd.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
        common::log::warning(std::string("a PDF upload could not be sealed, so it is not rendered: ") +
                             std::strerror(errno));
        return {};
    }
    return fd;
}

// The helper's environment: what fontconfig and poppler read (and the test switch of
// sandbox.h), never the tokens, session addresses and everything else the shell inherited.
struct HelperEnvironment {
    std::vector<std::string> kept;
    std::vector<char*> envp;

    HelperEnvironment() {
        for (char** e = environ; *e; ++e) {
            std::string_view v(*e);
            if (v.starts_with("HOME=") || v.starts_with("LANG=") || v.starts_with("XDG_") ||
                v.starts_with("FONTCONFIG_") || v.starts_with("TAVRIK_RENDER_WITHOUT="))
                kept.emplace_back(v);
        }
        for (auto& k : kept) envp.push_back(k.data());
        envp.push_back(nullptr);
    }
};

Helper spawnHelper(const RenderLimits& limits, const HelperEnvironment& env, int input, int first, int stride) {
    Helper h;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        h.spawnError = errno;
        return h;
    }
    common::UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
    // A larger pipe lets a helper hand over a whole page and start the next one while the shell
    // is still reading the other helper's page.
    fcntl(writeEnd.get(), F_SETPIPE_SZ, 1 << 20);

    std::string a1 = std::to_string(first), a2 = std::to_string(stride), a3 = std::to_string(limits.memoryMb),
                a4 = std::to_string(limits.pageCpu.count()),
                a5 = limits.sandbox == RenderLimits::Sandbox::On ? "1" : "0";
    std::string a0 = wire::kHelperName;
    char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), a4.data(), a5.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
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
    int rc = posix_spawn(&pid, limits.helperPath.c_str(), &actions, &attr, argv, env.envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        h.spawnError = rc;
        return h;
    }
    h.process = ChildProcess(pid);
    h.out = std::move(readEnd);
    h.alive = true;
    if (limits.spawned) limits.spawned(pid);
    return h;
}

void stop(Helper& h) {
    if (h.alive) h.process.kill();
    h.alive = false;
}

constexpr int kLockedTotal = -2, kUnconfinedTotal = -3;

// The document's page count the helper announces once it has opened it; -1 (and the helper stopped)
// when none comes in time, kLockedTotal for a document that needs a password, kUnconfinedTotal
// when the helper could not confine itself.
int readTotal(Helper& h, const RenderLimits& limits) {
    std::uint32_t head[2];
    // Opening the document counts as a page.
    if (!h.alive || !readExact(h.out.get(), head, sizeof head, PageWait(h, limits), *limits.abandon) ||
        head[0] != wire::kMagic ||
        (head[1] > 0x7FFFFFFFu && head[1] != wire::kLocked && head[1] != wire::kUnconfined)) {
        stop(h);
        return -1;
    }
    if (head[1] == wire::kLocked) return kLockedTotal;
    if (head[1] == wire::kUnconfined) return kUnconfinedTotal;
    return static_cast<int>(head[1]);
}

// A helper that died is replaced this many times per request, so that one crashing or endless
// page costs only that page, while a file that crashes on every page cannot keep respawning.
constexpr int kMaxRestarts = 4;

// Renders from a sealed memory file.
RenderOutcome renderSealed(common::UniqueFd input, const RenderLimits& limits,
                           const std::function<void(int, int, common::Bytes)>& page) {
    if (!input) return {};
    HelperEnvironment env;
    int count = std::max(1, limits.processes);
    std::vector<Helper> helpers;
    for (int k = 0; k < count; ++k) helpers.push_back(spawnHelper(limits, env, input.get(), k, count));
    // A helper that cannot even start (not installed where it is looked for) fails every request
    // alike, with nothing to see on the page: say where it was looked for, once per request.
    for (auto& h : helpers)
        if (h.spawnError) {
            common::log::warning("PDF render helper " + limits.helperPath +
                                 " could not be started: " + std::strerror(h.spawnError));
            break;
        }

    // Every helper opens the document and announces the same count; the first answer counts.
    int pages = -1;
    for (auto& h : helpers) {
        int n = readTotal(h, limits);
        if (pages == -1) pages = n;
    }
    int total = std::min(pages, kPageLimit);  // negative (nothing to render) stays so
    if (total == kUnconfinedTotal)
        common::log::warning(
            "PDF pages are not rendered: the render helper could not confine itself. This system "
            "offers neither Landlock nor unprivileged user namespaces, and an unconfined helper could "
            "read the user's files while parsing a crafted PDF (see the README, \"PDF rendering\").");

    int restarts = 0;
    for (int i = 0; i < total; ++i) {
        Helper& h = helpers[static_cast<std::size_t>(i % count)];
        if (!h.alive) {
            // This page's helper died on an earlier page: a fresh one goes on from here.
            if (restarts == kMaxRestarts || *limits.abandon) continue;
            ++restarts;
            h = spawnHelper(limits, env, input.get(), i, count);
            if (readTotal(h, limits) != pages) {
                stop(h);
                continue;
            }
        }
        PageWait wait(h, limits);
        std::uint32_t head[2];
        if (!readExact(h.out.get(), head, sizeof head, wait, *limits.abandon) ||
            head[0] != static_cast<std::uint32_t>(i) || head[1] > wire::kMaxFrame) {
            stop(h);  // crashed, killed, out of memory or time on page i: the page is skipped
            continue;
        }
        if (head[1] == 0) continue;  // the page failed to render
        common::Bytes jpeg(head[1]);
        if (!readExact(h.out.get(), jpeg.data(), jpeg.size(), wait, *limits.abandon)) {
            stop(h);
            continue;
        }
        page(i, total, std::move(jpeg));
    }
    // Every page wanted has been read; the helpers are ended and reaped as they go.
    if (total == kLockedTotal) return {RenderEnd::Locked, 0};
    return {RenderEnd::Done, std::max(pages, 0)};
}

}  // namespace

RenderOutcome renderIsolated(const common::Bytes& pdf, const RenderLimits& limits,
                             const std::function<void(int, int, common::Bytes)>& page) {
    PdfUpload upload;
    upload.append(pdf.data(), pdf.size());
    return renderIsolated(std::move(upload), limits, page);
}

PdfUpload::PdfUpload() : fd_(newPdfFile()), failed_(!fd_) {}
PdfUpload::~PdfUpload() = default;
PdfUpload::PdfUpload(PdfUpload&&) noexcept = default;
PdfUpload& PdfUpload::operator=(PdfUpload&&) noexcept = default;

void PdfUpload::append(const std::uint8_t* data, std::size_t size) {
    if (failed_ || size == 0) return;
    if (!common::writeAll(fd_.get(), data, size)) {
        common::log::warning(std::string("a PDF upload could not be kept: ") + std::strerror(errno));
        failed_ = true;
        return;
    }
    size_ += size;
}

RenderOutcome renderIsolated(PdfUpload upload, const RenderLimits& limits,
                             const std::function<void(int, int, common::Bytes)>& page) {
    if (upload.failed_ || upload.size_ == 0) return {};
    return renderSealed(sealed(std::move(upload.fd_)), limits, page);
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
