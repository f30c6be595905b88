#pragma once
#include <functional>
#include <memory>

#include "app/app_delegate.h"
#include "app/quit_confirmation.h"

namespace app {

struct QuitWiring {
    Translate t;
    std::function<void()> terminate;
    QuitConfirmation::Limits limits;
};

// Creates the quit confirmation on the launched application and makes it the one path every way of
// ending takes: the Quit command, closing the window, the session ending, SIGTERM and SIGINT. It
// replaces the quit Part `app` held before.
std::shared_ptr<QuitConfirmation> installQuitConfirmation(AppDelegate& app, QuitWiring wiring);

// The launch's quit Part: the confirmation on the interface's texts, ending through app.terminate().
void composeQuit(AppDelegate& app);

}  // namespace app
