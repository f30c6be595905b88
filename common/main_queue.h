// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <functional>

namespace common {

// Ordered tasks for the main thread. post() is safe from any thread; tasks run on the main thread
// strictly in the order they were posted, always later (never inside post(), even on the main thread).
class MainQueue {
public:
    using Task = std::function<void()>;
    virtual ~MainQueue() = default;
    virtual void post(Task task) = 0;
};

}  // namespace common
