#include "app/app_delegate.h"

namespace app {

void composeMenu(AppDelegate&) {}

}  // namespace app
