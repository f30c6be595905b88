#include <memory>

#include "app/parts.h"
#include "files/render_commands.h"

namespace app {

RenderPart composeRender(common::MainQueue& mainQueue, const std::shared_ptr<bridge::Bridge>& bridge) {
    RenderPart part;
    files::RenderLimits limits;
    limits.helperPath = files::defaultHelperPath();
    part.abandon = limits.abandon;
    part.waiters = std::make_unique<common::Workers>(mainQueue, 2);
    part.renderer =
        std::make_shared<files::PdfRenderer>(std::weak_ptr<bridge::PageSink>(bridge), *part.waiters, std::move(limits));
    bridge->handlers().render = part.renderer;
    return part;
}

void RenderPart::abandonRenders() {
    if (abandon) *abandon = true;
}

}  // namespace app
