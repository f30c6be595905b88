#include "app/app_delegate.h"

namespace app {

void composeDrop(AppDelegate& app) {
    // The view holds the desktop by reference: both live until the window is destroyed at exit.
    drop::dragCatchViewSetBeep(app.dragCatchView(), [&desktop = app.desktop()] { desktop.beep(); });
}

}  // namespace app
