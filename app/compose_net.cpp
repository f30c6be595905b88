#include <memory>

#include "app/app_delegate.h"
#include "net/curl_http_client.h"
#include "net/net_access.h"

namespace app {

void composeNet(AppDelegate& app) {
    auto client = std::make_shared<net::CurlHttpClient>(app.mainQueue());
    auto access = app.keep(std::make_shared<net::NetAccess>(client, app.bridge(), app.secrets, app.workers()));
    app.bridge()->handlers().net = access;
}

}  // namespace app
