// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The HTTP client on libcurl: one network thread drives one multi handle for every request, so a
// burst of requests costs sockets, not threads, and the main thread never waits on the network.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/main_queue.h"
#include "net/http_client.h"

namespace net {

class CurlHttpClient final : public HttpClient {
public:
    struct Options {
        // PEM certificates to trust instead of the system store (tests use their own authority).
        std::string trustedPem;
        // CURLOPT_RESOLVE entries, "HOST:PORT:ADDRESS": tests give a public-looking name to a
        // server on loopback.
        std::vector<std::string> resolve = {};
    };

    explicit CurlHttpClient(common::MainQueue& mainQueue) : CurlHttpClient(mainQueue, Options{}) {}
    CurlHttpClient(common::MainQueue& mainQueue, Options options);
    ~CurlHttpClient() override;  // as shutdown()
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    Ticket send(HttpRequest request, Done done) override;
    void cancel(Ticket ticket) override;

    // Abandons every request in flight without an answer and stops the network thread; later
    // requests are dropped. Returns as soon as the thread leaves its wait. Idempotent.
    void shutdown();

private:
    struct Flow;
    struct Transfer;
    struct Loop;

    void run();  // the network thread
    void dropCancelled();
    // Hands streamed bytes to the main queue; returns how long the thread may sleep before the next look.
    long pumpStreams();
    // Ends transfers that received nothing for their idle limit; returns the time to the next such end.
    long endIdle();
    void postPiece(Transfer& t);
    void startHop(std::unique_ptr<Transfer> t, std::string url, std::optional<std::string> writtenHost);
    void finishHop(std::unique_ptr<Transfer> t, int curlCode);
    void answer(std::unique_ptr<Transfer> t, HttpResponse::Outcome outcome, std::string error);

    common::MainQueue& mainQueue_;
    Options options_;
    std::shared_ptr<Loop> loop_;
    std::atomic<Ticket> nextTicket_{1};
    std::thread thread_;
};

}  // namespace net
