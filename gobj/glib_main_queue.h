// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <deque>
#include <mutex>

#include "common/main_queue.h"

namespace gobj {

// The main queue on the default GLib main context: a locked deque drained in order by one idle
// source. Not g_main_context_invoke(), which runs at once when already on the main thread.
class GlibMainQueue final : public common::MainQueue {
public:
    GlibMainQueue() = default;
    ~GlibMainQueue() override;
    void post(Task task) override;

private:
    static int drainThunk(void* self) noexcept;
    void drain();

    std::mutex mutex_;
    std::deque<Task> tasks_;
    unsigned sourceId_ = 0;
};

}  // namespace gobj
