#include "app/app_delegate.h"

namespace app {

void composeQuit(AppDelegate&) {}

}  // namespace app
