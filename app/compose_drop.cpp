#include "app/app_delegate.h"

namespace app {

void composeDrop(AppDelegate&) {}

}  // namespace app
