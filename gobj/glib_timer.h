// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <chrono>
#include <functional>

namespace gobj {

// Runs `task` once after `delay`, on the default main context. A task whose owner may be gone by
// then guards itself (a weak owner and a phase).
void runAfter(std::chrono::milliseconds delay, std::function<void()> task);

}  // namespace gobj
