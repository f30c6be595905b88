// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One render helper process as the shell sees it: started, handed its PDF, asked for pages, read
// from, and ended. The wire format is render_wire.h's.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <utility>

#include "common/unique_fd.h"
#include "files/render_process.h"

namespace files {

// A started process: killed if it is still running, and reaped, when its owner lets go of it.
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

    pid_t pid() const noexcept { return pid_; }
    // Ends it now; it is reaped when let go of.
    void kill() const noexcept;
    // The CPU time it has used so far, read from outside: nothing the helper does can stop the
    // count. Negative when it cannot be read.
    std::chrono::nanoseconds cpu() const noexcept;

private:
    void end() noexcept;
    pid_t pid_ = -1;
};

struct Helper {
    ChildProcess process;
    common::UniqueFd commands;  // the shell's end of the helper's command socket (its standard input)
    common::UniqueFd out;       // read end of its standard output
    bool alive = false;
    int spawnError = 0;  // why it could not be started
};

// Starts a helper with the limits' memory, CPU and confinement; it prepares what every document
// needs and then waits for its PDF. limits.spawned is not told: the helper may wait unused.
Helper spawnHelper(const RenderLimits& limits);

// Hands the helper the sealed PDF file; false (and the helper stopped) when it is gone.
bool sendPdf(Helper& h, int pdf);
// Asks for page index; false (and the helper stopped) when it is gone.
bool askPage(Helper& h, std::uint32_t index);
void stop(Helper& h);

}  // namespace files
