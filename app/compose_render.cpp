#include "app/app_delegate.h"

namespace app {

void composeRender(AppDelegate&) {}

}  // namespace app
