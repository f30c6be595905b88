// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/curl_http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/log.h"
#include "net/header_rules.h"
#include "net/url_target.h"

namespace net {
namespace {

using Clock = std::chrono::steady_clock;

// The image fetch's 25 MiB and below.
constexpr std::size_t kReserveWholeLimit = 26u * 1024 * 1024;
// A stream hands its bytes over about once a frame; the page then sees one call per turn of the
// main loop at most, not one per network read.
constexpr auto kPieceInterval = std::chrono::milliseconds(16);
// Bytes of a stream waiting for the main thread beyond this pause the transfer, so a fast server
// and a busy page cost this much memory, not the whole body.
constexpr std::size_t kStreamHighWater = 1u * 1024 * 1024;

bool isRedirectStatus(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool sameOrigin(const Target& a, const Target& b) {
    return a.scheme == b.scheme && a.host == b.host && a.port == b.port;
}

bool isLoopbackName(const std::string& host) { return host == "localhost" || host == "127.0.0.1" || host == "[::1]"; }

// An address that reaches this machine's own services.
bool isLocalAddress(const std::string& ip) {
    return ip.rfind("127.", 0) == 0 || ip == "::1" || ip.rfind("::ffff:127.", 0) == 0 || ip == "0.0.0.0" || ip == "::";
}

}  // namespace

// What the main thread and the network thread share about one request.
struct CurlHttpClient::Flow {
    std::atomic<bool> cancelled{false};     // set on the main thread; posted tasks check it there
    std::atomic<bool> pieceWaiting{false};  // a streamed piece is posted and has not run yet
    std::function<void(long, std::string)> onBody;
};

// One request through all its hops. Lives on the network thread from send() to its answer.
struct CurlHttpClient::Transfer {
    HttpRequest request;
    Done done;
    Ticket ticket = 0;
    std::shared_ptr<Flow> flow;
    // Streaming: bytes not yet handed over, the status they belong to, when the last piece left.
    std::string pending;
    long pendingStatus = 0;
    Clock::time_point lastPiece{};
    bool paused = false;
    // The idle limit: when a byte last moved either way.
    Clock::time_point lastActivity{};
    curl_off_t lastUploaded = 0;
    Clock::time_point deadline;
    Target origin;
    bool originKnown = false;
    // The request was sent to this machine by name: only then may a redirect lead to it.
    bool originLocal = false;

    // The current hop.
    Target hop;
    std::string url;
    std::string method;
    std::optional<std::string> body;
    int redirects = 0;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    curl_slist* resolveList = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    bool tooLarge = false;
    bool refusedConnection = false;
    bool bodyDropped = false;  // a redirect turned the request into a GET
    std::string location;      // as the last response wrote it

    HttpResponse response;

    ~Transfer() { releaseHop(); }

    void releaseHop() {
        if (easy) curl_easy_cleanup(easy);
        easy = nullptr;
        if (headerList) curl_slist_free_all(headerList);
        headerList = nullptr;
        if (resolveList) curl_slist_free_all(resolveList);
        resolveList = nullptr;
    }

    static size_t onWrite(char* data, size_t size, size_t count, void* self) noexcept {
        auto* t = static_cast<Transfer*>(self);
        size_t n = size * count;
        t->lastActivity = Clock::now();
        if (t->flow->onBody) return t->stream(data, n);
        // Counted here rather than with the library's size limit, which misses chunked and
        // compressed bodies.
        if (t->response.body.size() + n > t->request.maxBodyBytes) {
            t->tooLarge = true;
            return 0;  // ends the transfer
        }
        auto& body = t->response.body;
        if (body.size() + n > body.capacity()) {
            // Grow by doubling, but never past the limit: a body that ends at the limit then
            // costs the limit, not the next power of two.
            curl_off_t announced = -1;
            curl_easy_getinfo(t->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
            size_t want = announced > 0 && static_cast<size_t>(announced) <= t->request.maxBodyBytes
                              ? static_cast<size_t>(announced)
                              : std::max(body.capacity() * 2, size_t{64} * 1024);
            body.reserve(std::min(std::max(want, body.size() + n), t->request.maxBodyBytes));
        }
        body.insert(body.end(), data, data + n);
        return n;
    }

    size_t stream(char* data, size_t n) {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (isRedirectStatus(status) && !location.empty()) return n;  // followed, never streamed
        if (pending.size() >= kStreamHighWater) {
            paused = true;
            return CURL_WRITEFUNC_PAUSE;  // the library keeps these bytes and offers them again
        }
        pendingStatus = status;
        pending.append(data, n);
        return n;
    }

    // Keeps the last response's Location as written: the redirect URL the library hands back is
    // normalised (127.1 becomes 127.0.0.1), and the local rule is about how the host is written.
    static size_t onHeader(char* data, size_t size, size_t count, void* self) noexcept {
        auto* t = static_cast<Transfer*>(self);
        t->lastActivity = Clock::now();
        std::string_view line(data, size * count);
        if (line.rfind("HTTP/", 0) == 0) t->location.clear();
        if (line.size() > 9 && equalsIgnoringCase(line.substr(0, 9), "location:")) {
            auto value = line.substr(9);
            auto b = value.find_first_not_of(" \t");
            auto e = value.find_last_not_of(" \t\r\n");
            t->location = b == std::string_view::npos ? std::string{} : std::string(value.substr(b, e - b + 1));
        }
        return size * count;
    }

    // A large body going out slowly is activity too.
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) noexcept {
        auto* t = static_cast<Transfer*>(self);
        if (uploaded != t->lastUploaded) {
            t->lastUploaded = uploaded;
            t->lastActivity = Clock::now();
        }
        return 0;
    }

    static int onConnected(void* self, char* ip, char*, int, int) noexcept {
        auto* t = static_cast<Transfer*>(self);
        if (t->request.allowConnection && t->request.allowConnection(t->hop, ip ? ip : "") == Verdict::Refuse) {
            t->refusedConnection = true;
            return CURL_PREREQFUNC_ABORT;
        }
        // A remote server may not steer the request, with the page's headers, method and body, to
        // a service on this machine through another name that resolves here either.
        if (t->redirects > 0 && !t->originLocal && t->hop.host != t->origin.host && isLocalAddress(ip ? ip : "")) {
            t->refusedConnection = true;
            return CURL_PREREQFUNC_ABORT;
        }
        return CURL_PREREQFUNC_OK;
    }
};

struct CurlHttpClient::Loop {
    std::mutex mutex;
    std::deque<std::unique_ptr<Transfer>> incoming;
    bool stopping = false;
    std::unordered_map<Ticket, std::shared_ptr<Flow>> flows;  // requests not yet answered on the main thread
    std::atomic<unsigned> cancels{0};                         // bumped by cancel() to make the thread look
    CURLM* multi = nullptr;
    std::map<CURL*, std::unique_ptr<Transfer>> active;  // network thread only
};

namespace {
std::once_flag curlInit;
}

CurlHttpClient::CurlHttpClient(common::MainQueue& mainQueue, Options options)
    : mainQueue_(mainQueue), options_(std::move(options)), loop_(std::make_shared<Loop>()) {
    std::call_once(curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    loop_->multi = curl_multi_init();
    thread_ = std::thread([this] { run(); });
}

CurlHttpClient::~CurlHttpClient() {
    shutdown();
    curl_multi_cleanup(loop_->multi);
}

void CurlHttpClient::shutdown() {
    std::deque<std::unique_ptr<Transfer>> unstarted;
    {
        std::lock_guard lock(loop_->mutex);
        loop_->stopping = true;
        unstarted.swap(loop_->incoming);
        // Answers and stream pieces already posted to the main queue are dropped there too.
        for (auto& [ticket, flow] : loop_->flows) flow->cancelled = true;
        loop_->flows.clear();
    }
    curl_multi_wakeup(loop_->multi);
    if (!thread_.joinable()) return;
    thread_.join();
    for (auto& [easy, transfer] : loop_->active) curl_multi_remove_handle(loop_->multi, easy);
    loop_->active.clear();
}

HttpClient::Ticket CurlHttpClient::send(HttpRequest request, Done done) {
    auto t = std::make_unique<Transfer>();
    t->deadline = request.timeout.count() > 0 ? Clock::now() + request.timeout : Clock::time_point::max();
    t->ticket = nextTicket_++;
    t->flow = std::make_shared<Flow>();
    t->flow->onBody = std::move(request.onBody);
    request.onBody = nullptr;
    Ticket ticket = t->ticket;
    t->method = request.method;
    t->body = request.body;
    // A later header replaces an earlier one of the same name, compared without regard to case.
    std::vector<Header> unique;
    for (auto& [name, value] : request.headers) setHeader(unique, std::move(name), std::move(value));
    request.headers = std::move(unique);
    t->request = std::move(request);
    t->done = std::move(done);
    {
        std::lock_guard lock(loop_->mutex);
        if (loop_->stopping) return ticket;
        loop_->flows.emplace(ticket, t->flow);
        loop_->incoming.push_back(std::move(t));
    }
    curl_multi_wakeup(loop_->multi);
    return ticket;
}

void CurlHttpClient::cancel(Ticket ticket) {
    {
        std::lock_guard lock(loop_->mutex);
        auto it = loop_->flows.find(ticket);
        if (it == loop_->flows.end()) return;
        it->second->cancelled = true;
        loop_->flows.erase(it);
    }
    ++loop_->cancels;
    curl_multi_wakeup(loop_->multi);
}

void CurlHttpClient::dropCancelled() {
    // Removing a transfer before it completes makes the library close its connection, so the server
    // sees the close at once.
    for (auto it = loop_->active.begin(); it != loop_->active.end();) {
        if (it->second->flow->cancelled) {
            curl_multi_remove_handle(loop_->multi, it->first);
            it = loop_->active.erase(it);
        } else {
            ++it;
        }
    }
}

void CurlHttpClient::postPiece(Transfer& t) {
    t.flow->pieceWaiting = true;
    t.lastPiece = Clock::now();
    mainQueue_.post([flow = t.flow, status = t.pendingStatus, bytes = std::move(t.pending)]() mutable {
        flow->pieceWaiting = false;
        if (!flow->cancelled) flow->onBody(status, std::move(bytes));
    });
    t.pending = std::string{};
}

long CurlHttpClient::endIdle() {
    long sleepMs = 1000;
    auto now = Clock::now();
    std::vector<CURL*> idle;
    for (auto& [easy, t] : loop_->active) {
        if (t->paused) t->lastActivity = now;  // waiting for the page, not for the network
        auto end = t->lastActivity + t->request.idleTimeout;
        if (now >= end) {
            idle.push_back(easy);
        } else {
            auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count() + 1;
            sleepMs = std::min(sleepMs, static_cast<long>(wait));
        }
    }
    for (CURL* easy : idle) {
        auto it = loop_->active.find(easy);
        auto t = std::move(it->second);
        loop_->active.erase(it);
        curl_multi_remove_handle(loop_->multi, easy);
        long seconds = static_cast<long>(t->request.idleTimeout.count() / 1000);
        answer(std::move(t), HttpResponse::Outcome::Failed,
               "Operation timed out: no data received for " +
                   (seconds > 0 ? std::to_string(seconds) + " seconds"
                                : std::to_string(t->request.idleTimeout.count()) + " ms"));
    }
    return sleepMs;
}

long CurlHttpClient::pumpStreams() {
    long sleepMs = 1000;
    auto now = Clock::now();
    for (auto& [easy, t] : loop_->active) {
        if (!t->flow->onBody) continue;
        if (!t->pending.empty()) {
            auto due = t->lastPiece + kPieceInterval;
            if (!t->flow->pieceWaiting && now >= due) {
                postPiece(*t);
            } else {
                auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
                sleepMs = std::min(sleepMs, std::max(2L, static_cast<long>(wait)));
            }
        }
        if (t->paused && t->pending.empty()) {
            t->paused = false;
            curl_easy_pause(easy, CURLPAUSE_CONT);  // may deliver the held bytes at once
        }
    }
    return sleepMs;
}

void CurlHttpClient::run() {
    unsigned seenCancels = 0;
    for (;;) {
        std::deque<std::unique_ptr<Transfer>> fresh;
        {
            std::lock_guard lock(loop_->mutex);
            if (loop_->stopping) return;
            fresh.swap(loop_->incoming);
        }
        unsigned cancels = loop_->cancels.load();
        if (cancels != seenCancels) {
            seenCancels = cancels;
            dropCancelled();
        }
        for (auto& t : fresh) {
            if (t->flow->cancelled) continue;
            std::string url = t->request.url;
            startHop(std::move(t), std::move(url), std::nullopt);
        }

        int running = 0;
        curl_multi_perform(loop_->multi, &running);
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(loop_->multi, &left)) {
            if (msg->msg != CURLMSG_DONE) continue;
            CURL* easy = msg->easy_handle;
            CURLcode code = msg->data.result;
            curl_multi_remove_handle(loop_->multi, easy);
            auto it = loop_->active.find(easy);
            if (it == loop_->active.end()) continue;
            auto t = std::move(it->second);
            loop_->active.erase(it);
            finishHop(std::move(t), code);
        }
        long sleepMs = std::min(pumpStreams(), endIdle());
        curl_multi_poll(loop_->multi, nullptr, 0, static_cast<int>(sleepMs), nullptr);
    }
}

void CurlHttpClient::answer(std::unique_ptr<Transfer> t, HttpResponse::Outcome outcome, std::string error) {
    t->releaseHop();
    t->response.outcome = outcome;
    t->response.error = std::move(error);
    if (outcome != HttpResponse::Outcome::Done) t->response.body = common::Bytes{};  // frees it here
    // What a stream received before it ended reaches the page before the answer does.
    if (!t->pending.empty()) postPiece(*t);
    mainQueue_.post([done = std::move(t->done), flow = t->flow, ticket = t->ticket, weakLoop = std::weak_ptr(loop_),
                     response = std::make_shared<HttpResponse>(std::move(t->response))] {
        if (flow->cancelled) return;
        if (auto loop = weakLoop.lock()) {
            std::lock_guard lock(loop->mutex);
            loop->flows.erase(ticket);
        }
        done(std::move(*response));
    });
}

void CurlHttpClient::startHop(std::unique_ptr<Transfer> t, std::string url, std::optional<std::string> writtenHost) {
    using Outcome = HttpResponse::Outcome;
    auto parsed = parseTarget(url);
    if (!parsed) return answer(std::move(t), Outcome::Failed, curl_easy_strerror(CURLE_URL_MALFORMAT));
    if (writtenHost) parsed->writtenHost = std::move(*writtenHost);
    if (t->request.allowTarget && t->request.allowTarget(*parsed) == Verdict::Refuse)
        return answer(std::move(t), Outcome::Refused, "refused by the transport policy");
    if (parsed->scheme != "http" && parsed->scheme != "https")
        return answer(std::move(t), Outcome::Failed, curl_easy_strerror(CURLE_UNSUPPORTED_PROTOCOL));
    if (!t->originKnown) {
        t->origin = *parsed;
        t->originKnown = true;
        t->originLocal = isLoopbackName(parsed->host) && parsed->writtenHost == parsed->host;
    } else if (!t->originLocal && isLoopbackName(parsed->host)) {
        // A remote server redirecting to this machine (a local model server, a development
        // server): refused before anything is sent, whatever the scheme.
        return answer(std::move(t), Outcome::Refused, "refused: a redirect from another host to this machine");
    }
    if (!isHttpToken(t->method)) return answer(std::move(t), Outcome::Failed, "Invalid HTTP method");

    t->hop = std::move(*parsed);
    t->url = std::move(url);
    t->response.finalUrl = t->url;
    t->response.status = 0;
    t->response.body.clear();
    // A small limit (the image fetch's) is reserved at once: untouched pages cost nothing, and the
    // body then never exists twice while it grows.
    if (t->request.maxBodyBytes <= kReserveWholeLimit) t->response.body.reserve(t->request.maxBodyBytes);
    t->errorBuffer[0] = '\0';
    t->location.clear();
    t->tooLarge = t->refusedConnection = false;
    t->pending.clear();

    CURL* easy = curl_easy_init();
    if (!easy) return answer(std::move(t), Outcome::Failed, curl_easy_strerror(CURLE_OUT_OF_MEMORY));
    t->easy = easy;
    Transfer* raw = t.get();

    curl_easy_setopt(easy, CURLOPT_URL, raw->url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // Removing a transfer whose name is still being looked up must not wait for the lookup (the
    // system resolver can take many seconds): shutdown and cancel stay prompt.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, raw);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, raw->errorBuffer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::onWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, raw);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, raw);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Transfer::onConnected);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, raw);
    if (t->deadline != Clock::time_point::max()) {
        auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(t->deadline - Clock::now()).count();
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max<long long>(1, remaining)));
    }
    // The idle limit is kept by the network thread (endIdle): the library's low-speed check averages
    // over several seconds, so a silence would run up to five seconds past the limit.
    raw->lastActivity = Clock::now();
    raw->lastUploaded = 0;
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, raw);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    // A local server is reached directly: a proxy from the environment would make the connected
    // address the proxy's.
    if (isLoopbackName(raw->hop.host)) curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    if (!options_.resolve.empty()) {
        for (const auto& entry : options_.resolve)
            raw->resolveList = curl_slist_append(raw->resolveList, entry.c_str());
        curl_easy_setopt(easy, CURLOPT_RESOLVE, raw->resolveList);
    }
    if (!options_.trustedPem.empty()) {
        curl_blob blob{options_.trustedPem.data(), options_.trustedPem.size(), CURL_BLOB_COPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
    }

    bool crossOrigin = !sameOrigin(raw->hop, raw->origin);
    bool hasExpect = false;
    for (auto& [name, value] : raw->request.headers) {
        if (!isHttpToken(name) || !isSafeHeaderValue(value)) {  // never let a header split the request
            common::log::warning("a request header to " + raw->hop.host + " left out: invalid name or value");
            continue;
        }
        if (crossOrigin && containsName(raw->request.originBoundHeaders, name)) continue;
        if (raw->bodyDropped && equalsIgnoringCase(name, "content-type")) continue;
        if (equalsIgnoringCase(name, "expect")) hasExpect = true;
        // "Name;" is how the library sends a header with an empty value.
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        raw->headerList = curl_slist_append(raw->headerList, line.c_str());
    }
    // No 100-continue round trip for large bodies.
    if (!hasExpect) raw->headerList = curl_slist_append(raw->headerList, "Expect:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, raw->headerList);

    if (raw->method == "GET" && !raw->body) {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (raw->method == "HEAD") {
        // A HEAD response has no body whatever its Content-Length says; sent as a custom method
        // with a body, the library would wait for one until the time limit. The body is not sent.
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else {
        if (raw->body || raw->method == "POST") {
            const std::string& body = raw->body ? *raw->body : std::string{};
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
            curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, body.c_str());
        }
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, raw->method.c_str());
    }

    if (curl_multi_add_handle(loop_->multi, easy) != CURLM_OK)
        return answer(std::move(t), Outcome::Failed, curl_easy_strerror(CURLE_FAILED_INIT));
    loop_->active.emplace(easy, std::move(t));
}

void CurlHttpClient::finishHop(std::unique_ptr<Transfer> t, int result) {
    using Outcome = HttpResponse::Outcome;
    auto code = static_cast<CURLcode>(result);
    long status = 0;
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
    t->response.status = status;
    if (t->refusedConnection) return answer(std::move(t), Outcome::Refused, "refused: connected address not allowed");
    if (t->tooLarge) return answer(std::move(t), Outcome::TooLarge, curl_easy_strerror(CURLE_FILESIZE_EXCEEDED));
    if (code != CURLE_OK) {
        std::string error = t->errorBuffer[0] ? t->errorBuffer : curl_easy_strerror(code);
        t->response.status = 0;
        return answer(std::move(t), Outcome::Failed, std::move(error));
    }
    char* location = nullptr;
    bool redirect = isRedirectStatus(status);
    if (redirect && curl_easy_getinfo(t->easy, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location) {
        std::string next = location;
        if (++t->redirects > t->request.maxRedirects) {
            t->response.status = 0;
            return answer(std::move(t), Outcome::Failed, curl_easy_strerror(CURLE_TOO_MANY_REDIRECTS));
        }
        // What browsers do: 303 always, and 301/302 after a POST, continue as a GET without the body.
        if ((status == 303 && t->method != "HEAD") || ((status == 301 || status == 302) && t->method == "POST")) {
            t->method = "GET";
            t->body.reset();
            t->bodyDropped = true;
        }
        std::string written = writtenHostOfLocation(t->location, t->hop.writtenHost);
        t->releaseHop();
        return startHop(std::move(t), std::move(next), std::move(written));
    }
    return answer(std::move(t), Outcome::Done, {});
}

}  // namespace net
