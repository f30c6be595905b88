// The libcurl client on its own: the body limit as bytes arrive, many requests at once, and
// shutting down with requests in flight.
#include <atomic>
#include <condition_variable>

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
