#include "app/app_delegate.h"

namespace app {

void composeFiles(AppDelegate&) {}

}  // namespace app
