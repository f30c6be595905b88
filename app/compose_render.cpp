#include <memory>

#include "app/app_delegate.h"
#include "files/pdf_renderer.h"

namespace app {

void composeRender(AppDelegate& app) {
    files::RenderLimits limits;
    limits.helperPath = files::defaultHelperPath();
    // A render request mostly waits on its helper processes' pipes; it gets threads of its own so
    // that two renders never keep PDF exports waiting on the shared pool.
    auto waiters = std::make_shared<common::Workers>(app.mainQueue(), 2);
    app.bridge()->handlers().render = app.keep(std::make_shared<files::PdfRenderer>(
        std::weak_ptr<bridge::PageSink>(app.bridge()), *waiters, std::move(limits)));
    // These threads join when the kept parts go, but the bridge still holds the renderer then, so
    // a render still running or queued at exit is not abandoned: the join waits for it to end.
    app.keep(std::move(waiters));
}

}  // namespace app
