#pragma once
// The HTTP client on libcurl: one network thread drives one multi handle for every request, so a
// burst of requests costs sockets, not threads, and the main thread never waits on the network.
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/main_queue.h"
#include "net/http_client.h"

namespace net {

class CurlHttpClient final : public HttpClient {
public:
    struct Options {
        // PEM certificates to trust instead of the system store (tests use their own authority).
        std::string trustedPem;
    };

    explicit CurlHttpClient(common::MainQueue& mainQueue) : CurlHttpClient(mainQueue, Options{}) {}
    CurlHttpClient(common::MainQueue& mainQueue, Options options);
    ~CurlHttpClient() override;  // as shutdown()
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    void send(HttpRequest request, Done done) override;

    // Abandons every request in flight without an answer and stops the network thread; later
    // requests are dropped. Returns as soon as the thread leaves its wait. Idempotent.
    void shutdown();

private:
    struct Transfer;
    struct Loop;

    void run();  // the network thread
    void startHop(std::unique_ptr<Transfer> t, std::string url, std::optional<std::string> writtenHost);
    void finishHop(std::unique_ptr<Transfer> t, int curlCode);
    void answer(std::unique_ptr<Transfer> t, HttpResponse::Outcome outcome, std::string error);

    common::MainQueue& mainQueue_;
    Options options_;
    std::unique_ptr<Loop> loop_;
    std::thread thread_;
};

}  // namespace net
