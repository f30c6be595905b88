// SPDX-License-Identifier: GPL-3.0-or-later
// netRequest end to end: dispatcher, proxy, libcurl, a real server on loopback, the page call.
#include "net/transport_policy.h"
#include "net_fixture.h"

namespace {

using nettest::Net;
using testsupport::HttpTestServer;
using testsupport::ReceivedRequest;
using testsupport::ScriptedResponse;

std::string str(const json::Value& v, const char* key) {
    auto* s = v.stringAt(key);
    return s ? *s : "<absent>";
}

// The reply shapes exactly: keys and their types.
void expectKeys(const json::Value& reply, std::vector<std::string> keys) {
    std::vector<std::string> got;
    for (auto& [k, _] : *reply.object()) got.push_back(k);
    std::sort(got.begin(), got.end());
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(got, keys);
}

TEST(RequestProxy, TransportPolicyAllowsLocalHttpAndHttpsOnlyAndRefusesWithoutSending) {
    HttpTestServer v4;
    HttpTestServer v6(HttpTestServer::Family::V6);
    HttpTestServer tls(HttpTestServer::Family::V4, HttpTestServer::Tls::On);
    Net net(tls.certificatePem());
    const std::string p = std::to_string(v4.port());
    const std::string refusal = net::kRefusalText;

    struct Case {
        std::string url;
        HttpTestServer* server;  // the server a request would reach
        bool allowed;
    };
    const std::vector<Case> cases = {
        {"http://127.0.0.1:" + p + "/v1/chat", &v4, true},
        {"http://localhost:" + p + "/api/generate?x=1", &v4, true},
        {"http://[::1]:" + std::to_string(v6.port()) + "/", &v6, true},
        {"HTTP://LOCALHOST:" + p + "/upper", &v4, true},
        {"hTTp://127.0.0.1:" + p, &v4, true},
        {"HTTPS://localhost:" + std::to_string(tls.port()) + "/tls", &tls, true},
        {"https://127.0.0.1:" + std::to_string(tls.port()) + "/tls", &tls, true},
        // Every refused host below would still only reach this machine if the policy broke.
        {"http://127.0.0.2:" + p + "/", &v4, false},
        {"http://127.1:" + p + "/", &v4, false},
        {"http://0.0.0.0:" + p + "/", &v4, false},
        {"http://[::ffff:127.0.0.1]:" + p + "/", &v4, false},
        {"http://127.0.0.1.localhost:" + p + "/", &v4, false},
        {"http://0x7f.0.0.1:" + p + "/", &v4, false},
        {"http://user@127.0.0.1.localhost:" + p + "/", &v4, false},
        {"ftp://127.0.0.1:" + p + "/", &v4, false},
        {"ws://127.0.0.1:" + p + "/", &v4, false},
        {"file:///etc/hostname", &v4, false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.url);
        int before = c.server->connections();
        auto reply = net.netRequest({{"reqId", "r"}, {"url", c.url}, {"method", "GET"}});
        ASSERT_TRUE(reply);
        if (c.allowed) {
            EXPECT_EQ(reply->find("ok")->boolean() ? *reply->find("ok")->boolean() : false, true)
                << str(*reply, "error");
            EXPECT_EQ(str(*reply, "text"), "ok");
        } else {
            expectKeys(*reply, {"reqId", "ok", "error"});
            EXPECT_EQ(str(*reply, "error"), refusal);
            EXPECT_EQ(c.server->connections(), before) << "a refused request reached the server";
        }
    }
    EXPECT_EQ(v4.requests().size(), 4u);
}

TEST(RequestProxy, HeaderPrecedenceAndAuthSchemesAsTheServerSeesThem) {
    HttpTestServer server;
    Net net;
    net.secrets->values["k"] = "S3CRET-value";

    struct Case {
        const char* name;
        json::Object extra;                                       // fields added to the message
        std::vector<std::pair<std::string, std::string>> expect;  // header → value, "<absent>" for none
    };
    auto auth = [](json::Object a) { return json::Value(std::move(a)); };
    const std::vector<Case> cases = {
        {"bearer by default; spec Authorization loses",
         {{"headers", json::Object{{"Authorization", "Bearer page"}, {"X-Page", "1"}}},
          {"auth", auth({{"keyId", "k"}})}},
         {{"Authorization", "Bearer S3CRET-value"}, {"X-Page", "1"}}},
        {"auth headers win over the credential, names compared without case",
         {{"headers", json::Object{{"Authorization", "Bearer page"}}},
          {"auth", auth({{"keyId", "k"}, {"headers", json::Object{{"authorization", "Bearer mine"}}}})}},
         {{"Authorization", "Bearer mine"}}},
        {"anthropic",
         {{"auth", auth({{"keyId", "k"}, {"scheme", "anthropic"}})}},
         {{"x-api-key", "S3CRET-value"}, {"anthropic-version", "2023-06-01"}, {"Authorization", "<absent>"}}},
        {"named header",
         {{"auth", auth({{"keyId", "k"}, {"scheme", "header"}, {"headerName", "X-Goog-Api-Key"}})}},
         {{"X-Goog-Api-Key", "S3CRET-value"}, {"Authorization", "<absent>"}}},
        {"header scheme without a name: no credential, auth headers still applied",
         {{"auth", auth({{"keyId", "k"}, {"scheme", "header"}, {"headers", json::Object{{"X-Extra", "e"}}}})}},
         {{"X-Extra", "e"}, {"Authorization", "<absent>"}}},
        {"none", {{"auth", auth({{"keyId", "k"}, {"scheme", "none"}})}}, {{"Authorization", "<absent>"}}},
        {"unknown scheme is bearer",
         {{"auth", auth({{"keyId", "k"}, {"scheme", "basic"}})}},
         {{"Authorization", "Bearer S3CRET-value"}}},
        {"empty keyId: no credential and no auth headers",
         {{"auth", auth({{"keyId", ""}, {"headers", json::Object{{"X-Extra", "e"}}}})}},
         {{"Authorization", "<absent>"}, {"X-Extra", "<absent>"}}},
        {"no secret stored: an empty credential still goes out",
         {{"auth", auth({{"keyId", "missing"}})}},
         {{"Authorization", "Bearer"}}},
        {"headers with a non-string value are ignored whole",
         {{"headers", json::Object{{"Content-Type", "application/json"}, {"X-Count", 3}}}},
         {{"X-Count", "<absent>"}, {"Content-Type", "application/x-www-form-urlencoded"}}},
        {"a header that would split the request is skipped, the rest is sent",
         {{"headers", json::Object{{"X-Bad", "a\r\nX-Injected: 1"}, {"Bad\nName", "v"}, {"X-Good", "g"}}}},
         {{"X-Good", "g"}, {"X-Bad", "<absent>"}, {"X-Injected", "<absent>"}, {"Name", "<absent>"}}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        json::Object msg{{"reqId", "h"}, {"url", server.url("/h")}, {"body", "{}"}};
        for (auto& f : c.extra) msg.push_back(f);
        size_t before = server.requests().size();
        auto reply = net.netRequest(std::move(msg));
        ASSERT_TRUE(reply);
        ASSERT_EQ(server.requests().size(), before + 1);
        ReceivedRequest got = server.requests().back();
        for (auto& [name, value] : c.expect) EXPECT_EQ(got.header(name), value) << name;
        EXPECT_EQ(got.all("Authorization").size() <= 1, true);
        // The page never sees the secret.
        EXPECT_EQ(json::write(*reply)->find("S3CRET"), std::string::npos);
    }
}

TEST(RequestProxy, MethodAndBody) {
    HttpTestServer server;
    Net net;
    struct Case {
        json::Object fields;
        std::string method, body;
    };
    const std::vector<Case> cases = {
        {{{"body", "héllo → 世界"}}, "POST", "héllo → 世界"},
        {{{"method", "GET"}, {"body", "still sent"}}, "GET", "still sent"},
        {{{"method", "PUT"}, {"body", json::Object{{"a", 1}}}}, "PUT", ""},
        {{{"method", 7}}, "POST", ""},
        {{{"method", "DELETE"}}, "DELETE", ""},
    };
    for (auto& c : cases) {
        json::Object msg{{"reqId", "m"}, {"url", server.url("/m")}};
        for (auto& f : c.fields) msg.push_back(f);
        ASSERT_TRUE(net.netRequest(std::move(msg)));
        auto got = server.requests().back();
        EXPECT_EQ(got.method, c.method);
        EXPECT_EQ(got.body, c.body);
        EXPECT_FALSE(got.has("Accept-Encoding"));
    }
}

TEST(RequestProxy, ReplyShapesForStatusesBodiesAndFailures) {
    HttpTestServer server;
    HttpTestServer untrusted(HttpTestServer::Family::V4, HttpTestServer::Tls::On);
    server.handle([](const ReceivedRequest& r) -> ScriptedResponse {
        if (r.target == "/missing")
            return {404, {{"Content-Type", "application/json"}}, R"({"error":{"type":"not_found"}})"};
        if (r.target == "/latin1") return {200, {}, "caf\xe9"};
        if (r.target == "/empty") return {204, {}, ""};
        if (r.target == "/chunked") return {201, {}, std::string(200000, 'x') + "é", true};
        return {};
    });
    Net net;  // trusts only the system store
    {
        auto reply = net.netRequest({{"reqId", "a/b"}, {"url", server.url("/missing")}});
        ASSERT_TRUE(reply);
        expectKeys(*reply, {"reqId", "ok", "status", "text"});
        EXPECT_EQ(str(*reply, "reqId"), "a/b");
        EXPECT_EQ(*reply->find("ok"), json::Value(false));
        EXPECT_EQ(*reply->find("status"), json::Value(404));
        EXPECT_EQ(str(*reply, "text"), R"({"error":{"type":"not_found"}})");
    }
    struct Case {
        std::string path;
        int status;
        std::string text;
    };
    for (const Case& c : std::vector<Case>{
             {"/latin1", 200, ""}, {"/empty", 204, ""}, {"/chunked", 201, std::string(200000, 'x') + "é"}}) {
        auto reply = net.netRequest({{"reqId", "s"}, {"url", server.url(c.path)}});
        ASSERT_TRUE(reply);
        EXPECT_EQ(*reply->find("ok"), json::Value(true)) << c.path;
        EXPECT_EQ(*reply->find("status"), json::Value(c.status)) << c.path;
        EXPECT_EQ(str(*reply, "text"), c.text) << c.path;
    }
    // Transfer failures: nothing listening, a certificate nobody trusts, no scheme at all.
    for (const std::string& url : {"http://127.0.0.1:" + std::to_string(testsupport::closedLoopbackPort()) + "/",
                                   untrusted.url("/"), "//127.0.0.1:" + std::to_string(server.port()) + "/x"}) {
        size_t before = server.requests().size();
        auto reply = net.netRequest({{"reqId", "f"}, {"url", url}});
        ASSERT_TRUE(reply) << url;
        expectKeys(*reply, {"reqId", "ok", "error"});
        EXPECT_EQ(*reply->find("ok"), json::Value(false));
        EXPECT_FALSE(str(*reply, "error").empty());
        EXPECT_NE(str(*reply, "error"), net::kRefusalText) << url;
        EXPECT_EQ(server.requests().size(), before);
    }
    EXPECT_EQ(untrusted.requests().size(), 0u);
}

TEST(RequestProxy, RedirectsAreCheckedPerHopAndCredentialsStayWithTheirOrigin) {
    HttpTestServer origin;
    HttpTestServer other;
    HttpTestServer otherTls(HttpTestServer::Family::V4, HttpTestServer::Tls::On);
    const std::string otherPort = std::to_string(other.port());
    origin.handle([&](const ReceivedRequest& r) -> ScriptedResponse {
        if (r.target == "/to-other") return ScriptedResponse::redirect(302, other.url("/landed"));
        if (r.target == "/to-self") return ScriptedResponse::redirect(307, "/landed");
        if (r.target == "/to-127.1") return ScriptedResponse::redirect(302, "http://127.1:" + otherPort + "/x");
        if (r.target == "/to-127.1-netpath") return ScriptedResponse::redirect(301, "//127.1:" + otherPort + "/x");
        if (r.target == "/to-ftp") return ScriptedResponse::redirect(302, "ftp://127.0.0.1:" + otherPort + "/x");
        if (r.target == "/to-tls") return ScriptedResponse::redirect(308, otherTls.url("/landed"));
        if (r.target == "/see-other") return ScriptedResponse::redirect(303, "/landed");
        if (r.target == "/loop") return ScriptedResponse::redirect(302, "/loop");
        return {200, {}, "origin"};
    });
    other.handle([](const ReceivedRequest&) { return ScriptedResponse{200, {}, "other"}; });
    Net net(otherTls.certificatePem());
    net.secrets->values["k"] = "S3CRET-value";
    auto send = [&](const std::string& path, json::Value auth) {
        return net.netRequest({{"reqId", "r"},
                               {"url", origin.url(path)},
                               {"body", "payload"},
                               {"headers", json::Object{{"Content-Type", "application/json"}, {"X-Trace", "t"}}},
                               {"auth", std::move(auth)}});
    };

    // Another port: followed, without the credential of either kind.
    for (auto auth : {json::Object{{"keyId", "k"}}, json::Object{{"keyId", "k"}, {"scheme", "anthropic"}},
                      json::Object{{"keyId", "k"}, {"scheme", "header"}, {"headerName", "X-Custom-Key"}}}) {
        auto reply = send("/to-other", auth);
        ASSERT_TRUE(reply);
        EXPECT_EQ(str(*reply, "text"), "other");
        auto got = other.requests().back();
        EXPECT_FALSE(got.has("Authorization"));
        EXPECT_FALSE(got.has("x-api-key"));
        EXPECT_FALSE(got.has("X-Custom-Key"));
        EXPECT_EQ(got.header("X-Trace"), "t");
        EXPECT_EQ(got.method, "GET");  // a 302 after a POST continues as a GET without the body
        EXPECT_EQ(got.body, "");
    }
    EXPECT_EQ(origin.requests().front().header("Authorization"), "Bearer S3CRET-value");

    // The same origin keeps the credential, and a 307 keeps method and body.
    {
        auto reply = send("/to-self", json::Object{{"keyId", "k"}});
        ASSERT_TRUE(reply);
        auto got = origin.requests().back();
        EXPECT_EQ(got.target, "/landed");
        EXPECT_EQ(got.header("Authorization"), "Bearer S3CRET-value");
        EXPECT_EQ(got.method, "POST");
        EXPECT_EQ(got.body, "payload");
    }
    // A 303 turns into a GET and drops the body with its type.
    {
        ASSERT_TRUE(send("/see-other", json::Object{}));
        auto got = origin.requests().back();
        EXPECT_EQ(got.method, "GET");
        EXPECT_EQ(got.body, "");
        EXPECT_FALSE(got.has("Content-Type"));
    }
    // Another scheme on the same host and port counts as another origin too.
    {
        auto reply = send("/to-tls", json::Object{{"keyId", "k"}});
        ASSERT_TRUE(reply);
        EXPECT_EQ(*reply->find("ok"), json::Value(true)) << str(*reply, "error");
        EXPECT_FALSE(otherTls.requests().back().has("Authorization"));
        EXPECT_EQ(otherTls.requests().back().body, "payload");
    }
    // A hop the transport policy refuses ends the request before anything reaches the target.
    size_t otherBefore = other.requests().size();
    for (const char* path : {"/to-127.1", "/to-127.1-netpath", "/to-ftp"}) {
        auto reply = send(path, json::Object{{"keyId", "k"}});
        ASSERT_TRUE(reply);
        EXPECT_EQ(str(*reply, "error"), net::kRefusalText) << path;
    }
    EXPECT_EQ(other.requests().size(), otherBefore);
    // Endless redirects end as a transfer failure.
    auto loop = send("/loop", json::Object{});
    ASSERT_TRUE(loop);
    EXPECT_EQ(*loop->find("ok"), json::Value(false));
    EXPECT_FALSE(str(*loop, "error").empty());
}

// A whole reply up to the limit reaches the page; one byte more ends with the hint to stream, in
// both of the ways a server may send it (its length announced, or chunked).
TEST(RequestProxy, AWholeReplyPastTheLimitAsksForAStream) {
    HttpTestServer server;
    const std::string atLimit(net::NetAccess::kMaxReplyBytes, 'a');
    server.handle([&](const ReceivedRequest& r) {
        ScriptedResponse response{200, {}, atLimit};
        if (r.target != "/at-limit") response.body += 'b';
        response.chunked = r.target == "/chunked";
        return response;
    });
    Net net;
    for (const char* path : {"/at-limit", "/sized", "/chunked"}) {
        SCOPED_TRACE(path);
        auto reply = net.netRequest({{"reqId", "r"}, {"url", server.url(path)}, {"method", "GET"}});
        ASSERT_TRUE(reply);
        if (std::string(path) == "/at-limit") {
            EXPECT_EQ(*reply->find("ok"), json::Value(true));
            EXPECT_EQ(reply->stringAt("text")->size(), atLimit.size());
        } else {
            expectKeys(*reply, {"reqId", "ok", "error"});
            EXPECT_EQ(str(*reply, "error"), net::NetAccess::kTooLargeText);
        }
    }
}

}  // namespace
