#include "app/app_delegate.h"

namespace app {

void composeWebPolicy(AppDelegate&) {}

}  // namespace app
