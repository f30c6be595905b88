// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/render_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "common/log.h"
#include "common/unique_fd.h"
#include "files/render_child.h"
#include "files/render_page.h"
#include "files/render_pool.h"
#include "files/render_wire.h"

namespace files {
namespace {

using Clock = std::chrono::steady_clock;

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
// Pages asked of a helper before it has answered the first: the next one is waiting when it
// finishes a page, without a round trip through the shell.
constexpr std::size_t kAhead = 2;
// Pages rendered beyond the next one to hand on: a slow page holds back at most this many
// finished ones in the shell's memory.
constexpr int kWindow = 8;

// A helper at work on a request: the pages asked of it, in order, the first being drawn now.
struct Worker {
    Helper helper;
    std::deque<int> asked;
    std::optional<PageWait> wait;  // for the first page asked
};

enum class Start { Warm, New };

// A helper for this request: a warm one when the limits keep some and Start::Warm, else a new one.
Helper startHelper(const RenderLimits& limits, Start start = Start::New) {
    Helper h = limits.warm && start == Start::Warm ? limits.warm->take(limits) : spawnHelper(limits);
    if (h.alive && limits.spawned) limits.spawned(h.process.pid());
    return h;
}

// Gives the helper the PDF and reads the count it announces; -1 when none comes.
int join(Worker& w, int input, const RenderLimits& limits) {
    if (!sendPdf(w.helper, input)) return -1;
    return readTotal(w.helper, limits);
}

// Hands the pages to the helpers one at a time, each to the first helper free for it, so that a
// document whose heavy pages all fall to one side (a photo on every other page) keeps both busy;
// the pages come back in any order and are handed on in ascending order.
class Schedule {
public:
    Schedule(int total, int input, int pages, const RenderLimits& limits,
             const std::function<void(int, int, common::Bytes)>& page)
        : total_(total), input_(input), pages_(pages), limits_(limits), page_(page) {
        for (int i = 0; i < total; ++i) todo_.insert(i);
    }

    void run(std::vector<Worker>& workers) {
        while (next_ < total_ && !*limits_.abandon) {
            for (auto& w : workers) {
                if (!w.helper.alive) lost(w);
                give(w);
            }
            handOn();
            if (next_ >= total_) break;
            if (!wait(workers)) {
                // No helper is left to ask, and none may be started: the rest is skipped.
                for (int i : todo_) skipped_.insert(i);
                todo_.clear();
                handOn();
                break;
            }
        }
    }

private:
    // A helper that died: the page it was drawing is skipped, those it had not begun go to others,
    // and a fresh helper takes its place while pages are left and restarts allowed.
    void lost(Worker& w) {
        if (!w.asked.empty()) {
            skipped_.insert(w.asked.front());
            w.asked.pop_front();
            todo_.insert(w.asked.begin(), w.asked.end());
            w.asked.clear();
        }
        w.wait.reset();
        if (todo_.empty() || restarts_ == kMaxRestarts || *limits_.abandon) return;
        ++restarts_;
        w.helper = startHelper(limits_);
        if (join(w, input_, limits_) != pages_) stop(w.helper);
    }

    void give(Worker& w) {
        while (w.helper.alive && w.asked.size() < kAhead && !todo_.empty() && *todo_.begin() < next_ + kWindow) {
            int i = *todo_.begin();
            if (!askPage(w.helper, static_cast<std::uint32_t>(i))) return;
            todo_.erase(todo_.begin());
            w.asked.push_back(i);
            if (!w.wait) w.wait.emplace(w.helper, limits_);
        }
    }

    void handOn() {
        for (;;) {
            if (auto r = ready_.find(next_); r != ready_.end()) {
                common::Bytes jpeg = std::move(r->second);
                ready_.erase(r);
                page_(next_++, total_, std::move(jpeg));
            } else if (skipped_.erase(next_)) {
                ++next_;
            } else {
                return;
            }
        }
    }

    // Waits a short slice for a frame from any helper with pages asked, and reads what came.
    // False when no helper is at work.
    bool wait(std::vector<Worker>& workers) {
        std::vector<pollfd> fds;
        std::vector<Worker*> of;
        for (auto& w : workers)
            if (w.helper.alive && !w.asked.empty()) {
                // Out of time or CPU on its page: given up, like a crash.
                if (w.wait->overBudget() || Clock::now() > w.wait->deadline) {
                    stop(w.helper);
                    continue;
                }
                fds.push_back({w.helper.out.get(), POLLIN, 0});
                of.push_back(&w);
            }
        if (fds.empty()) {
            for (auto& w : workers)
                if (!w.helper.alive && (!w.asked.empty() || (!todo_.empty() && restarts_ < kMaxRestarts))) return true;
            return false;
        }
        // Short slices, so that abandoning and a spent budget are noticed while a slow page renders.
        int ready = poll(fds.data(), fds.size(), 50);
        if (ready <= 0) return true;
        for (std::size_t k = 0; k < fds.size(); ++k)
            if (fds[k].revents) read(*of[k]);
        return true;
    }

    void read(Worker& w) {
        std::uint32_t head[2];
        int i = w.asked.front();
        if (!readExact(w.helper.out.get(), head, sizeof head, *w.wait, *limits_.abandon) ||
            head[0] != static_cast<std::uint32_t>(i) || head[1] > wire::kMaxFrame) {
            stop(w.helper);  // crashed, killed, out of memory or time on page i: the page is skipped
            return;
        }
        common::Bytes jpeg(head[1]);
        if (head[1] && !readExact(w.helper.out.get(), jpeg.data(), jpeg.size(), *w.wait, *limits_.abandon)) {
            stop(w.helper);
            return;
        }
        w.asked.pop_front();
        if (head[1] == 0)
            skipped_.insert(i);  // the page failed to render
        else
            ready_.emplace(i, std::move(jpeg));
        w.wait.reset();
        if (!w.asked.empty()) w.wait.emplace(w.helper, limits_);
    }

    int total_, input_, pages_;
    const RenderLimits& limits_;
    const std::function<void(int, int, common::Bytes)>& page_;
    std::set<int> todo_;  // not yet asked of a living helper
    std::map<int, common::Bytes> ready_;
    std::set<int> skipped_;
    int next_ = 0;  // the next page to hand on
    int restarts_ = 0;
};

// Renders from a sealed memory file.
RenderOutcome renderSealed(common::UniqueFd input, const RenderLimits& limits,
                           const std::function<void(int, int, common::Bytes)>& page) {
    if (!input) return {};
    int count = std::max(1, limits.processes);
    std::vector<Worker> workers(static_cast<std::size_t>(count));
    for (auto& w : workers) w.helper = startHelper(limits, Start::Warm);
    // A helper that cannot even start (not installed where it is looked for) fails every request
    // alike, with nothing to see on the page: say where it was looked for, once per request.
    for (auto& w : workers)
        if (w.helper.spawnError) {
            common::log::warning("PDF render helper " + limits.helperPath +
                                 " could not be started: " + std::strerror(w.helper.spawnError));
            break;
        }
    for (auto& w : workers) sendPdf(w.helper, input.get());

    // Every helper opens the document and announces the same count; the first answer counts.
    int pages = -1;
    for (auto& w : workers) {
        int n = readTotal(w.helper, limits);
        // A helper that waited may have been ended meanwhile (by the kernel's memory killer, say):
        // a new one takes its place at once, without counting as a restart.
        if (n == -1 && limits.warm && !*limits.abandon) {
            w.helper = startHelper(limits);
            n = join(w, input.get(), limits);
        }
        if (pages == -1) pages = n;
    }
    int total = std::min(pages, kPageLimit);  // negative (nothing to render) stays so
    if (total == kUnconfinedTotal)
        common::log::warning(
            "PDF pages are not rendered: the render helper could not confine itself. This system "
            "offers neither Landlock nor unprivileged user namespaces, and an unconfined helper could "
            "read the user's files while parsing a crafted PDF (see the README, \"PDF rendering\").");
    if (total > 0) Schedule(total, input.get(), pages, limits, page).run(workers);
    // The helpers are ended and reaped as they go; the next request finds warm ones.
    workers.clear();
    if (limits.warm) limits.warm->fill(limits, count);
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
