// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The HTTP client seam: send one request, answer once. No cache, no cookies kept between requests,
// no automatic redirect following: the client follows redirects itself so the caller's rules hold on
// every hop.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/bytes.h"

namespace net {

using Header = std::pair<std::string, std::string>;

// Where one hop of a request goes, as the URL parser of the client reads it.
struct Target {
    std::string scheme;       // lower-cased
    std::string host;         // lower-cased; an IPv6 address keeps its brackets
    std::string writtenHost;  // the host exactly as the URL text spells it, lower-cased
    long port = 0;            // explicit or the scheme's default
};

enum class Verdict { Allow, Refuse };

struct HttpRequest {
    std::string method = "GET";  // sent verbatim; must be an HTTP token
    std::string url;
    std::vector<Header> headers;  // a later name replaces an earlier one, without regard to case;
                                  // names that are not tokens and values with CR, LF or NUL are skipped
    std::optional<std::string> body;
    // For the whole chain of hops; zero means no overall cap (the idle limit still holds).
    std::chrono::milliseconds timeout{600'000};
    // No byte received for this long ends the request with Outcome::Failed ("timed out"); a slow but
    // steady transfer goes on. Also bounds connecting.
    std::chrono::milliseconds idleTimeout{120'000};
    // More body than this ends the transfer with Outcome::TooLarge; counted as the bytes arrive.
    // Not applied to a streamed body, which is never kept.
    std::size_t maxBodyBytes = 256u * 1024 * 1024;
    int maxRedirects = 20;

    // Called on the network thread for the first URL and every redirect target, before anything
    // is sent to it. Refuse ends the request with Outcome::Refused. Unset allows every http(s) URL.
    std::function<Verdict(const Target&)> allowTarget;
    // Called on the network thread once a hop is connected, before the request is written, with the
    // address actually connected to. Refuse ends the request with Outcome::Refused.
    std::function<Verdict(const Target&, const std::string& connectedIp)> allowConnection;
    // Header names (any case) sent only while a hop has the same scheme, host and port as `url`;
    // a redirect elsewhere is followed without them.
    std::vector<std::string> originBoundHeaders;

    // Set to stream: the last hop's body is handed over in pieces as it arrives instead of being
    // kept (the answer's body is then empty). Redirect responses are followed, never streamed.
    // Runs on the main queue, in order, before `done`, with the status of the response; pieces are
    // coalesced (at most one call outstanding and about one per frame), never one per network read.
    std::function<void(long status, std::string bytes)> onBody;
};

struct HttpResponse {
    enum class Outcome { Done, Failed, TooLarge, Refused };
    Outcome outcome = Outcome::Failed;
    long status = 0;     // the last hop's HTTP status; 0 when no HTTP response arrived
    common::Bytes body;  // the last hop's body (partial when TooLarge)
    std::string error;   // the client library's description when not Done
    std::string finalUrl;
};

class HttpClient {
public:
    using Done = std::function<void(HttpResponse)>;
    using Ticket = std::uint64_t;  // never 0
    virtual ~HttpClient() = default;
    // Never blocks. `done` runs exactly once, on the main queue, unless the client is destroyed
    // first or the request is cancelled.
    virtual Ticket send(HttpRequest request, Done done) = 0;
    // Ends the request wherever it is (queued, connecting, transferring) and closes its connection
    // soon after; neither `onBody` nor `done` runs after it, even for pieces already posted. An
    // unknown or finished ticket is ignored. Main thread.
    virtual void cancel(Ticket ticket) = 0;
};

}  // namespace net
