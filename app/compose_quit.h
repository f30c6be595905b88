// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <memory>

#include "app/app_delegate.h"
#include "app/quit_confirmation.h"

namespace app {

// Replaces the launched application's quit Part with one on other texts, an other way to end and
// other limits (tests count the endings instead of ending).
std::shared_ptr<QuitConfirmation> installQuitConfirmation(AppDelegate& app, QuitWiring wiring);

}  // namespace app
