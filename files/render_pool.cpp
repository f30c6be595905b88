// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/render_pool.h"

#include <sys/wait.h>

namespace files {
namespace {

// Still waiting: not ended by a signal, its memory limit or the shell's death in between.
bool waiting(const Helper& h) {
    siginfo_t info{};
    return h.alive && waitid(P_PID, static_cast<id_t>(h.process.pid()), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

}  // namespace

Helper WarmHelpers::take(const RenderLimits& limits) {
    std::unique_lock lock(mutex_);
    while (!waiting_.empty()) {
        Helper h = std::move(waiting_.back());
        waiting_.pop_back();
        if (waiting(h)) return h;
    }
    lock.unlock();
    return spawnHelper(limits);
}

void WarmHelpers::fill(const RenderLimits& limits, int count) {
    std::lock_guard lock(mutex_);
    while (static_cast<int>(waiting_.size()) < count) {
        Helper h = spawnHelper(limits);
        if (!h.alive) return;
        waiting_.push_back(std::move(h));
    }
}

void WarmHelpers::clear() {
    std::vector<Helper> gone;
    std::lock_guard lock(mutex_);
    gone.swap(waiting_);
}

}  // namespace files
