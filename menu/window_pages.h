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

    enum class History { Undo, Redo };
    // Edit ▸ Undo and Redo: a page text field with the keyboard focus undoes its own typing, as
    // the keys do there; anywhere else the page gets `pageCall`.
    virtual void historyStep(History, const std::string& pageCall) { evaluateInEveryWindow(pageCall); }
};

}  // namespace menu
