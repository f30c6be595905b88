// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>

#include "app/parts.h"
#include "files/pdf_renderer.h"

namespace app {

RenderPart composeRender(common::MainQueue& mainQueue, const std::shared_ptr<bridge::Bridge>& bridge) {
    RenderPart part;
    files::RenderLimits limits;
    limits.helperPath = files::defaultHelperPath();
    part.abandon = limits.abandon;
    part.waiters = std::make_unique<common::Workers>(mainQueue, 2);
    part.renderer =
        std::make_shared<files::PdfRenderer>(std::weak_ptr<bridge::PageSink>(bridge), *part.waiters, std::move(limits));
    bridge::addRenderCommands(bridge->commands(), part.renderer);
    return part;
}

void RenderPart::abandonRenders() {
    if (abandon) *abandon = true;
}

}  // namespace app
