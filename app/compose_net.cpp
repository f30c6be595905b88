// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>

#include "app/parts.h"
#include "net/curl_http_client.h"
#include "net/net_access.h"
#include "vault/secret_source.h"

namespace app {

NetPart composeNet(common::MainQueue& mainQueue, const std::shared_ptr<bridge::Bridge>& bridge,
                   std::shared_ptr<vault::SecretSource> secrets, common::Workers& workers) {
    NetPart part;
    part.client = std::make_shared<net::CurlHttpClient>(mainQueue);
    part.access = std::make_shared<net::NetAccess>(part.client, bridge, std::move(secrets), workers);
    bridge::addNetCommands(bridge->commands(), part.access);
    return part;
}

}  // namespace app
