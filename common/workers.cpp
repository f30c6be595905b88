// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/workers.h"

namespace common {

Workers::Workers(MainQueue& mainQueue, unsigned threads) : mainQueue_(mainQueue) {
    if (threads == 0) threads = std::max(2u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { loop(); });
}

Workers::~Workers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_)
        if (t.joinable()) t.join();
}

void Workers::shutdown() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        dropped.swap(jobs_);
    }
    wake_.notify_all();
    for (auto& t : threads_)
        if (t.joinable()) t.join();
    // Destroyed here, on the caller's thread: a dropped job may own a quit hold or a page sink.
    dropped.clear();
}

void Workers::submit(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void Workers::loop() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

}  // namespace common
