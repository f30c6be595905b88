// SPDX-License-Identifier: GPL-3.0-or-later
#include "gobj/glib_main_queue.h"

#include <glib.h>

namespace gobj {

GlibMainQueue::~GlibMainQueue() {
    std::lock_guard lock(mutex_);
    if (sourceId_) g_source_remove(sourceId_);
}

void GlibMainQueue::post(Task task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    if (sourceId_ == 0) sourceId_ = g_idle_add_full(G_PRIORITY_DEFAULT, drainThunk, this, nullptr);
}

int GlibMainQueue::drainThunk(void* self) noexcept {
    static_cast<GlibMainQueue*>(self)->drain();
    return G_SOURCE_REMOVE;
}

void GlibMainQueue::drain() {
    // Run what is queued now, in order, but yield to input and drawing after a few milliseconds so
    // a burst of page calls cannot freeze the window; what is left is picked up next turn.
    gint64 deadline = g_get_monotonic_time() + 8000;
    for (;;) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty()) {
                sourceId_ = 0;
                return;
            }
            if (g_get_monotonic_time() > deadline) {
                sourceId_ = g_idle_add_full(G_PRIORITY_DEFAULT, drainThunk, this, nullptr);
                return;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

}  // namespace gobj
