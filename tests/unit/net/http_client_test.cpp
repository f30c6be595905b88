// SPDX-License-Identifier: GPL-3.0-or-later
// The libcurl client on its own: the body limit as bytes arrive, many requests at once, and
// shutting down with requests in flight.
#include <atomic>
#include <condition_variable>
#include <csignal>

#include "net_fixture.h"
#include "support/stream_test_server.h"

namespace {

using net::HttpRequest;
using net::HttpResponse;
using testsupport::HttpTestServer;
using testsupport::ReceivedRequest;
using testsupport::ScriptedResponse;

TEST(HttpClient, BodyLimitIsCountedAsBytesArriveChunkedOrNot) {
    HttpTestServer server;
    server.handle([](const ReceivedRequest& r) {
        size_t n = std::stoul(r.target.substr(r.target.rfind('/') + 1));
        return ScriptedResponse{200, {}, std::string(n, 'b'), r.target.rfind("/chunked", 0) == 0};
    });
    fakes::ManualQueue queue;
    net::CurlHttpClient client(queue);
    struct Case {
        std::string path;
        HttpResponse::Outcome outcome;
    };
    for (auto& c : std::vector<Case>{{"/chunked/100000", HttpResponse::Outcome::Done},
                                     {"/chunked/100001", HttpResponse::Outcome::TooLarge},
                                     {"/sized/100000", HttpResponse::Outcome::Done},
                                     {"/sized/100001", HttpResponse::Outcome::TooLarge}}) {
        HttpRequest req;
        req.url = server.url(c.path);
        req.maxBodyBytes = 100000;
        std::optional<HttpResponse> got;
        client.send(req, [&](HttpResponse r) { got = std::move(r); });
        ASSERT_TRUE(queue.runUntil([&] { return got.has_value(); }));
        EXPECT_EQ(got->outcome, c.outcome) << c.path << " " << got->error;
        EXPECT_EQ(got->status, 200);
        EXPECT_LE(got->body.size(), 100000u);
        if (c.outcome == HttpResponse::Outcome::TooLarge) {
            EXPECT_FALSE(got->error.empty());
        }
    }
}

TEST(HttpClient, ConnectedAddressIsJudgedBeforeTheRequestIsWritten) {
    HttpTestServer v4;
    HttpTestServer v6(HttpTestServer::Family::V6);
    fakes::ManualQueue queue;
    net::CurlHttpClient client(queue);
    for (HttpTestServer* server : {&v4, &v6}) {
        for (bool refuse : {true, false}) {
            std::string seen;
            HttpRequest req;
            req.url = server->url("/x");
            req.allowConnection = [&seen, refuse](const net::Target&, const std::string& ip) {
                seen = ip;
                return refuse ? net::Verdict::Refuse : net::Verdict::Allow;
            };
            std::optional<HttpResponse> got;
            client.send(req, [&](HttpResponse r) { got = std::move(r); });
            ASSERT_TRUE(queue.runUntil([&] { return got.has_value(); }));
            EXPECT_EQ(seen, server == &v4 ? "127.0.0.1" : "::1");
            EXPECT_EQ(got->outcome, refuse ? HttpResponse::Outcome::Refused : HttpResponse::Outcome::Done);
            EXPECT_EQ(server->requests().size(), refuse ? 0u : 1u) << "refused, yet the request was written";
        }
    }
}

// A remote server cannot steer a request, with its headers, method and body, to a service on this
// machine: a redirect to a loopback name, or to another name that resolves here, is refused before
// anything is written to it. A request that started here may be redirected here.
TEST(HttpClient, RedirectsReachThisMachineOnlyFromIt) {
    // The TLS test server writes its session tickets after the handshake, and the refused hop has
    // closed the connection by then: a broken pipe there is expected, not a reason to end the test.
    signal(SIGPIPE, SIG_IGN);
    HttpTestServer remote(HttpTestServer::Family::V4, HttpTestServer::Tls::On);  // named public.test
    HttpTestServer local;
    HttpTestServer localTls(HttpTestServer::Family::V4, HttpTestServer::Tls::On);
    const std::string localPort = std::to_string(local.port()), tlsPort = std::to_string(localTls.port());
    auto route = [&](const ReceivedRequest& r) -> ScriptedResponse {
        if (r.target == "/to-http") return ScriptedResponse::redirect(307, local.url("/x"));
        if (r.target == "/to-localhost") return ScriptedResponse::redirect(302, "http://localhost:" + localPort + "/x");
        if (r.target == "/to-https") return ScriptedResponse::redirect(302, localTls.url("/x"));
        if (r.target == "/to-named") return ScriptedResponse::redirect(302, "https://other.test:" + tlsPort + "/x");
        if (r.target == "/to-self") return ScriptedResponse::redirect(302, "/landed");
        return {200, {}, "remote"};
    };
    remote.handle(route);
    local.handle([](const ReceivedRequest&) { return ScriptedResponse{200, {}, "local"}; });
    localTls.handle([](const ReceivedRequest&) { return ScriptedResponse{200, {}, "local"}; });
    fakes::ManualQueue queue;
    net::CurlHttpClient::Options options;
    options.trustedPem = remote.certificatePem() + localTls.certificatePem();
    options.resolve = {"public.test:" + std::to_string(remote.port()) + ":127.0.0.1",
                       "other.test:" + tlsPort + ":127.0.0.1"};
    net::CurlHttpClient client(queue, options);
    auto fetch = [&](const std::string& url) {
        HttpRequest req;
        req.url = url;
        req.method = "POST";
        req.body = "payload";
        std::optional<HttpResponse> got;
        client.send(req, [&](HttpResponse r) { got = std::move(r); });
        EXPECT_TRUE(queue.runUntil([&] { return got.has_value(); }));
        return got.value_or(HttpResponse{});
    };
    const std::string remoteOrigin = "https://public.test:" + std::to_string(remote.port());
    for (const char* path : {"/to-http", "/to-localhost", "/to-https", "/to-named"}) {
        HttpResponse r = fetch(remoteOrigin + path);
        EXPECT_EQ(r.outcome, HttpResponse::Outcome::Refused) << path << " " << r.error;
    }
    EXPECT_EQ(local.requests().size(), 0u) << "a redirect reached the local service";
    EXPECT_EQ(localTls.requests().size(), 0u) << "a redirect reached the local service";
    // Redirects within the remote host are followed as before.
    HttpResponse self = fetch(remoteOrigin + "/to-self");
    EXPECT_EQ(std::string(self.body.begin(), self.body.end()), "remote") << self.error;
    // Started on this machine: its redirects to this machine are followed.
    HttpTestServer here;
    here.handle(route);
    HttpResponse r = fetch(here.url("/to-http"));
    EXPECT_EQ(r.outcome, HttpResponse::Outcome::Done) << r.error;
    EXPECT_EQ(std::string(r.body.begin(), r.body.end()), "local");
}

TEST(HttpClient, ManyRequestsInFlightEachAnsweredOnce) {
    HttpTestServer server;
    server.handle([](const ReceivedRequest& r) { return ScriptedResponse{200, {}, r.target}; });
    fakes::ManualQueue queue;
    net::CurlHttpClient client(queue);
    constexpr int kCount = 200;
    std::vector<int> answers(kCount);
    std::vector<std::string> bodies(kCount);
    for (int i = 0; i < kCount; ++i) {
        HttpRequest req;
        req.url = server.url("/n/" + std::to_string(i));
        client.send(req, [&, i](HttpResponse r) {
            ++answers[i];
            bodies[i] = std::string(common::asText(r.body));
        });
    }
    int done = 0;
    ASSERT_TRUE(queue.runUntil([&] {
        done = static_cast<int>(std::count_if(answers.begin(), answers.end(), [](int n) { return n > 0; }));
        return done == kCount;
    })) << done;
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(answers[i], 1);
        EXPECT_EQ(bodies[i], "/n/" + std::to_string(i));
    }
}

TEST(HttpClient, TimeoutCoversTheWholeChainOfHops) {
    HttpTestServer server;
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    server.handle([&](const ReceivedRequest& r) {
        if (r.target == "/hop") return ScriptedResponse::redirect(302, "/stall");
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return release; });
        return ScriptedResponse{};
    });
    fakes::ManualQueue queue;
    net::CurlHttpClient client(queue);
    HttpRequest req;
    req.url = server.url("/hop");
    req.timeout = std::chrono::milliseconds(300);
    std::optional<HttpResponse> got;
    client.send(req, [&](HttpResponse r) { got = std::move(r); });
    ASSERT_TRUE(queue.runUntil([&] { return got.has_value(); }, std::chrono::seconds(10)));
    EXPECT_EQ(got->outcome, HttpResponse::Outcome::Failed);
    EXPECT_NE(got->error.find("imed out"), std::string::npos) << got->error;
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
}

TEST(HttpClient, DestroyedWithRequestsInFlightAnswersNothing) {
    HttpTestServer server;
    std::mutex m;
    std::condition_variable cv;
    bool arrived = false, release = false;
    server.handle([&](const ReceivedRequest&) {
        std::unique_lock lock(m);
        arrived = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        return ScriptedResponse{};
    });
    fakes::ManualQueue queue;
    bool answered = false;
    {
        net::CurlHttpClient client(queue);
        HttpRequest req;
        req.url = server.url("/slow");
        client.send(req, [&](HttpResponse) { answered = true; });
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return arrived; }));
    }
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    queue.runUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_FALSE(answered);
}

// Quitting with many requests in flight: shutdown returns promptly, and nothing is answered, not
// even an answer the network thread had already posted; every completion is released.
TEST(HttpClient, ShutdownWithManyInFlightAnswersNothingAndReleasesEverything) {
    constexpr int kSlow = 200;
    testsupport::StreamTestServer server;
    std::atomic<int> waiting{0};
    server.handle([&](testsupport::StreamTestServer::Exchange& x) {
        if (x.target == "/fast") {
            x.sendHead(200, {"Content-Length: 2"});
            x.send("ok");
            return;
        }
        if (!x.sendHead(200) || !x.send("{\"partial\":")) return;
        ++waiting;
        x.waitForClose(std::chrono::minutes(2));
    });
    // Counts the tasks the client posts, so the test knows the fast answer is queued.
    struct CountingQueue final : common::MainQueue {
        fakes::ManualQueue inner;
        std::atomic<int> posted{0};
        void post(Task task) override {
            inner.post(std::move(task));
            ++posted;
        }
    } queue;
    auto client = std::make_unique<net::CurlHttpClient>(queue);
    auto held = std::make_shared<int>(0);  // every completion holds it
    int answered = 0;
    auto send = [&](const std::string& path) {
        HttpRequest req;
        req.url = server.url(path);
        client->send(req, [&answered, held](HttpResponse) { ++answered; });
    };
    for (int i = 0; i < kSlow; ++i) send("/slow");
    send("/fast");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((waiting < kSlow || queue.posted == 0) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(waiting, kSlow);
    ASSERT_GT(queue.posted, 0) << "the fast answer is waiting on the main queue";

    auto started = std::chrono::steady_clock::now();
    client->shutdown();
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(took, std::chrono::seconds(5)) << "generous, for a loaded machine";
    queue.inner.runAll();
    client.reset();
    queue.inner.runAll();
    EXPECT_EQ(answered, 0);
    EXPECT_EQ(held.use_count(), 1) << "a completion outlived the client";
}

}  // namespace
