#include "app/app_delegate.h"

namespace app {

void composeMenu(AppDelegate&) {}

void composeMenuCommands(AppDelegate&) {}

}  // namespace app
