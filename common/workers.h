// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/main_queue.h"

namespace common {

// A small pool for background work (PDF building and rendering). Jobs run in parallel; a job's
// completion goes back through the main queue, so it runs on the main thread after the job.
class Workers {
public:
    explicit Workers(MainQueue& mainQueue, unsigned threads = 0);
    ~Workers();  // finishes the queued jobs, then joins (nothing is left after shutdown())
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    // Drops the jobs not yet started and joins the threads once the running ones return. Jobs
    // submitted afterwards are dropped. The owner ends long jobs first (a render's helpers), so
    // this returns promptly. Idempotent.
    void shutdown();

    void submit(std::function<void()> job);

    template <class Job, class Done>
    void run(Job job, Done done) {
        submit([this, job = std::move(job), done = std::move(done)]() mutable {
            auto result = std::make_shared<decltype(job())>(job());
            mainQueue_.post([done = std::move(done), result]() mutable { done(std::move(*result)); });
        });
    }

    MainQueue& mainQueue() { return mainQueue_; }
    unsigned size() const { return static_cast<unsigned>(threads_.size()); }

private:
    void loop();

    MainQueue& mainQueue_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace common
