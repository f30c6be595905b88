// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Render helpers started ahead of a request: a helper takes tens of milliseconds to start, load
// its libraries and read the font configuration, and a request that finds one waiting draws its
// first page that much sooner. Shared by the requests of one set of limits, from any thread.
#include <mutex>
#include <vector>

#include "files/render_child.h"

namespace files {

class WarmHelpers {
public:
    // A waiting helper started with these limits, else a new one.
    Helper take(const RenderLimits& limits);
    // Starts helpers until count are waiting. Helpers end with the thread that started them, so
    // this is called from threads that live as long as the renderer (the main thread, workers).
    void fill(const RenderLimits& limits, int count);
    // Ends the waiting helpers (the shell is quitting).
    void clear();

private:
    std::mutex mutex_;
    std::vector<Helper> waiting_;
};

}  // namespace files
