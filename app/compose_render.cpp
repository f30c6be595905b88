#include <memory>

#include "app/app_delegate.h"
#include "files/render_commands.h"

namespace app {

void composeRender(AppDelegate& app) {
    files::RenderLimits limits;
    limits.helperPath = files::defaultHelperPath();
    app.bridge()->handlers().render = app.keep(std::make_shared<files::PdfRenderer>(
        std::weak_ptr<bridge::PageSink>(app.bridge()), app.workers(), std::move(limits)));
}

}  // namespace app
