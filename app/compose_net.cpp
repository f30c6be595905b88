#include "app/app_delegate.h"

namespace app {

void composeNet(AppDelegate&) {}

}  // namespace app
