#include <memory>

#include "app/app_delegate.h"
#include "files/render_commands.h"

namespace app {

void composeRender(AppDelegate& app) {
    files::RenderLimits limits;
    limits.helperPath = files::defaultHelperPath();
    // A render request mostly waits on its helper processes' pipes; it gets threads of its own so
    // that two renders never keep PDF exports waiting on the shared pool.
    auto waiters = std::make_shared<common::Workers>(app.mainQueue(), 2);
    app.bridge()->handlers().render = app.keep(std::make_shared<files::PdfRenderer>(
        std::weak_ptr<bridge::PageSink>(app.bridge()), *waiters, std::move(limits)));
    // Kept after the renderer, so at exit the renderer ends its helpers before these threads join.
    app.keep(std::move(waiters));
}

}  // namespace app
