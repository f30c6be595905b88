#include "app/app_delegate.h"

namespace app {

void composeVault(AppDelegate&) {}

}  // namespace app
