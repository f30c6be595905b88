// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>

#include "app/parts.h"
#include "menu/l10n.h"
#include "net/curl_http_client.h"
#include "net/gtk_key_question.h"
#include "net/key_gate.h"
#include "net/net_access.h"
#include "vault/secret_source.h"

namespace app {

NetPart composeNet(GtkApplication* app, common::MainQueue& mainQueue, const std::shared_ptr<bridge::Bridge>& bridge,
                   std::shared_ptr<vault::SecretSource> secrets, common::Workers& workers) {
    NetPart part;
    part.client = std::make_shared<net::CurlHttpClient>(mainQueue);
    part.keys = std::make_shared<net::KeyGate>(
        std::make_shared<net::GtkKeyQuestion>(app), [](const std::string& key) { return menu::L10N::t(key); }, secrets);
    part.access = std::make_shared<net::NetAccess>(part.client, bridge, std::move(secrets), workers,
                                                   net::NetAccess::Limits{}, part.keys);
    bridge::addNetCommands(bridge->commands(), part.access);
    return part;
}

}  // namespace app
