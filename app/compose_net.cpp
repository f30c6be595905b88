#include <memory>

#include "app/parts.h"
#include "net/curl_http_client.h"
#include "net/net_access.h"
#include "vault/vault.h"

namespace app {

NetPart composeNet(common::MainQueue& mainQueue, const std::shared_ptr<bridge::Bridge>& bridge,
                   std::shared_ptr<vault::Vault> secrets, common::Workers& workers) {
    NetPart part;
    part.client = std::make_shared<net::CurlHttpClient>(mainQueue);
    part.access = std::make_shared<net::NetAccess>(part.client, bridge, std::move(secrets), workers);
    bridge->handlers().net = part.access;
    return part;
}

}  // namespace app
