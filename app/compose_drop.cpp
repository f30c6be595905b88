#include "app/parts.h"

namespace app {

void composeDrop(TavrikDragCatchView* view, common::Desktop& desktop) {
    drop::dragCatchViewSetBeep(view, [&desktop] { desktop.beep(); });
}

}  // namespace app
