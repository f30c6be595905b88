// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>

namespace menu {

// The pages of all the application's windows. Main thread.
class WindowPages {
public:
    virtual ~WindowPages() = default;
    // Evaluates `script` in the web view of every window that has one, in the platform's window
    // order, without waiting; results and errors are dropped.
    virtual void evaluateInEveryWindow(const std::string& script) = 0;
};

}  // namespace menu
