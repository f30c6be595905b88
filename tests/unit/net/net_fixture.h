// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The proxy and the image fetch wired as the application wires them — the dispatcher, the libcurl
// client and real servers on loopback — with a main queue the test drains while it waits.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>

#include "bridge/bridge.h"
#include "common/workers.h"
#include "fakes/fakes.h"
#include "net/curl_http_client.h"
#include "net/net_access.h"
#include "support/http_test_server.h"
#include "support/json_text.h"

namespace nettest {

// Answers later, through the main queue, as the vault does; binds a key at its first use as the
// vault does, and records what Always allow adds.
class MapSecrets final : public vault::SecretSource {
public:
    explicit MapSecrets(common::MainQueue& queue) : queue_(queue) {}
    std::map<std::string, std::string> values;
    std::map<std::string, std::vector<std::string>> origins;
    Ticket get(const std::string& keyId, const std::string& origin, Answer answer) override {
        Key key;
        if (auto it = values.find(keyId); it != values.end()) key.secret = it->second;
        if (key.secret && !origin.empty() && origins[keyId].empty()) origins[keyId] = {origin};
        if (key.secret) key.origins = origins[keyId];
        queue_.post([key, answer = std::move(answer)] { answer(key); });
        return ++tickets_;
    }
    void cancel(Ticket) override {}
    void allow(const std::string& keyId, const std::string& origin) override {
        queue_.post([this, keyId, origin] { origins[keyId].push_back(origin); });
    }

private:
    common::MainQueue& queue_;
    Ticket tickets_ = 0;
};

struct Net {
    fakes::ManualQueue queue;
    common::Workers workers{queue, 2};
    std::shared_ptr<fakes::RecordingPage> page = std::make_shared<fakes::RecordingPage>();
    std::shared_ptr<bridge::Bridge> bridge = std::make_shared<bridge::Bridge>(queue, page);
    std::shared_ptr<MapSecrets> secrets = std::make_shared<MapSecrets>(queue);
    std::shared_ptr<net::CurlHttpClient> client;
    std::shared_ptr<net::NetAccess> access;

    explicit Net(std::string trustedPem = {}) {
        client = std::make_shared<net::CurlHttpClient>(queue, net::CurlHttpClient::Options{std::move(trustedPem)});
        access = std::make_shared<net::NetAccess>(client, bridge, secrets, workers);
        bridge::addNetCommands(bridge->commands(), access);
    }

    // Posts one command message and returns the argument of the one page call it produced, or
    // nothing when none came. `prefix` is the page call's text before the JSON.
    std::optional<json::Value> call(const json::Value& message, const std::string& prefix, const std::string& suffix,
                                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        page->scripts.clear();
        bridge->receive(message);
        if (!queue.runUntil([&] { return !page->scripts.empty(); }, limit)) return std::nullopt;
        const std::string& s = page->scripts.front();
        EXPECT_EQ(s.rfind(prefix, 0), 0u) << s.substr(0, 200);
        EXPECT_GE(s.size(), prefix.size() + suffix.size());
        EXPECT_EQ(s.substr(s.size() - suffix.size()), suffix);
        return testsupport::parseJson(s.substr(prefix.size(), s.size() - prefix.size() - suffix.size()));
    }
    std::optional<json::Value> netRequest(json::Object message) {
        message.insert(message.begin(), {"action", "netRequest"});
        return call(json::Value(std::move(message)), "window.__netReply(", ")");
    }
    std::optional<json::Value> fetchImage(const std::string& url) {
        return call(json::Object{{"action", "fetchImage"}, {"url", url}, {"reqId", "img-1"}}, "window.__imageFetched((",
                    "))");
    }
};

}  // namespace nettest
