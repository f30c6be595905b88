#include "app/app_delegate.h"
#include "files/file_exchange.h"
#include "files/gtk_panels.h"

namespace app {

void composeFiles(AppDelegate& app) {
    auto panels = std::make_shared<files::GtkPanels>(app.application());
    std::weak_ptr<bridge::PageSink> page = app.bridge();
    auto exchange = app.keep(std::make_shared<files::FileExchange>(panels, page, app.desktop(), app.workers()));
    exchange->setQuitHold([&app] { return app.holdQuit(); });
    app.bridge()->handlers().files = exchange;
}

}  // namespace app
