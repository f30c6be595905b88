#include "net/curl_http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "net/header_rules.h"
#include "net/url_target.h"

namespace net {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReserveWholeLimit = 32u * 1024 * 1024;

bool sameOrigin(const Target& a, const Target& b) {
    return a.scheme == b.scheme && a.host == b.host && a.port == b.port;
}

bool isLoopbackName(const std::string& host) { return host == "localhost" || host == "127.0.0.1" || host == "[::1]"; }

}  // namespace

// One request through all its hops. Lives on the network thread from send() to its answer.
struct CurlHttpClient::Transfer {
    HttpRequest request;
    Done done;
    Clock::time_point deadline;
    Target origin;
    bool originKnown = false;

    // The current hop.
    Target hop;
    std::string url;
    std::string method;
    std::optional<std::string> body;
    int redirects = 0;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
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
    }

    static size_t onWrite(char* data, size_t size, size_t count, void* self) noexcept {
        auto* t = static_cast<Transfer*>(self);
        size_t n = size * count;
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

    // Keeps the last response's Location as written: the redirect URL the library hands back is
    // normalised (127.1 becomes 127.0.0.1), and the local rule is about how the host is written.
    static size_t onHeader(char* data, size_t size, size_t count, void* self) noexcept {
        auto* t = static_cast<Transfer*>(self);
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

    static int onConnected(void* self, char* ip, char*, int, int) noexcept {
        auto* t = static_cast<Transfer*>(self);
        if (t->request.allowConnection && t->request.allowConnection(t->hop, ip ? ip : "") == Verdict::Refuse) {
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
    CURLM* multi = nullptr;
    std::map<CURL*, std::unique_ptr<Transfer>> active;  // network thread only
};

namespace {
std::once_flag curlInit;
}

CurlHttpClient::CurlHttpClient(common::MainQueue& mainQueue, Options options)
    : mainQueue_(mainQueue), options_(std::move(options)), loop_(std::make_unique<Loop>()) {
    std::call_once(curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    loop_->multi = curl_multi_init();
    thread_ = std::thread([this] { run(); });
}

CurlHttpClient::~CurlHttpClient() {
    shutdown();
    curl_multi_cleanup(loop_->multi);
}

void CurlHttpClient::shutdown() {
    {
        std::lock_guard lock(loop_->mutex);
        loop_->stopping = true;
        loop_->incoming.clear();
    }
    curl_multi_wakeup(loop_->multi);
    if (!thread_.joinable()) return;
    thread_.join();
    for (auto& [easy, transfer] : loop_->active) curl_multi_remove_handle(loop_->multi, easy);
    loop_->active.clear();
}

void CurlHttpClient::send(HttpRequest request, Done done) {
    auto t = std::make_unique<Transfer>();
    t->deadline = Clock::now() + request.timeout;
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
        if (loop_->stopping) return;
        loop_->incoming.push_back(std::move(t));
    }
    curl_multi_wakeup(loop_->multi);
}

void CurlHttpClient::run() {
    for (;;) {
        std::deque<std::unique_ptr<Transfer>> fresh;
        {
            std::lock_guard lock(loop_->mutex);
            if (loop_->stopping) return;
            fresh.swap(loop_->incoming);
        }
        for (auto& t : fresh) {
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
        curl_multi_poll(loop_->multi, nullptr, 0, 1000, nullptr);
    }
}

void CurlHttpClient::answer(std::unique_ptr<Transfer> t, HttpResponse::Outcome outcome, std::string error) {
    t->releaseHop();
    t->response.outcome = outcome;
    t->response.error = std::move(error);
    if (outcome != HttpResponse::Outcome::Done) t->response.body = common::Bytes{};  // frees it here
    mainQueue_.post([done = std::move(t->done), response = std::make_shared<HttpResponse>(std::move(t->response))] {
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

    CURL* easy = curl_easy_init();
    if (!easy) return answer(std::move(t), Outcome::Failed, curl_easy_strerror(CURLE_OUT_OF_MEMORY));
    t->easy = easy;
    Transfer* raw = t.get();

    curl_easy_setopt(easy, CURLOPT_URL, raw->url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, raw);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, raw->errorBuffer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::onWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, raw);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, raw);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Transfer::onConnected);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, raw);
    auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(t->deadline - Clock::now()).count();
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max<long long>(1, remaining)));
    // A local server is reached directly: a proxy from the environment would make the connected
    // address the proxy's.
    if (isLoopbackName(raw->hop.host)) curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    if (!options_.trustedPem.empty()) {
        curl_blob blob{options_.trustedPem.data(), options_.trustedPem.size(), CURL_BLOB_COPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
    }

    bool crossOrigin = !sameOrigin(raw->hop, raw->origin);
    bool hasExpect = false;
    for (auto& [name, value] : raw->request.headers) {
        if (!isHttpToken(name) || !isSafeHeaderValue(value)) continue;  // never let a header split the request
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
    } else if (raw->method == "HEAD" && !raw->body) {
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
    bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
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
