#include "app/parts.h"
#include "files/file_exchange.h"

namespace app {

FilesPart composeFiles(std::shared_ptr<files::Panels> panels, const std::shared_ptr<bridge::Bridge>& bridge,
                       common::Desktop& desktop, common::Workers& workers,
                       std::function<std::shared_ptr<void>()> holdQuit) {
    FilesPart part;
    part.exchange = std::make_shared<files::FileExchange>(std::move(panels), std::weak_ptr<bridge::PageSink>(bridge),
                                                          desktop, workers);
    part.exchange->setQuitHold(std::move(holdQuit));
    bridge->handlers().files = part.exchange;
    return part;
}

}  // namespace app
