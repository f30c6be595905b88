// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <functional>
#include <memory>

namespace common {

// Work that must finish before the process ends: a save whose chooser is still open or whose PDF
// is still being written. Quitting while something is held waits for the last hold to go, so
// "save, then quit" never ends the process under the user's open save chooser. Main thread only.
class QuitHolds : public std::enable_shared_from_this<QuitHolds> {
public:
    explicit QuitHolds(std::function<void()> quit) : quit_(std::move(quit)) {}

    // A token; the quit waits while any token lives. Release it on the main thread.
    std::shared_ptr<void> hold() {
        ++count_;
        return std::shared_ptr<void>(nullptr, [weak = weak_from_this()](void*) {
            if (auto self = weak.lock()) self->release();
        });
    }

    // Quits now when nothing is held, else as soon as the last hold is released.
    void requestQuit() {
        if (count_ == 0) return quit_();
        pending_ = true;
    }

    bool waiting() const { return pending_; }

private:
    void release() {
        if (--count_ == 0 && pending_) {
            pending_ = false;
            quit_();
        }
    }

    std::function<void()> quit_;
    int count_ = 0;
    bool pending_ = false;
};

}  // namespace common
