// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/net_access.h"

#include <algorithm>

#include "common/data_url.h"
#include "common/log.h"
#include "common/url.h"
#include "net/header_rules.h"
#include "net/image_sniff.h"
#include "net/transport_policy.h"
#include "net/url_target.h"
#include "net/utf8_stream.h"
#include "vault/key_origins.h"

namespace net {
namespace {

// An object whose every value is a string, as name → value pairs; nothing otherwise (ignored whole).
std::optional<std::vector<Header>> stringMap(const json::Value* v) {
    if (!v || !v->object()) return std::nullopt;
    std::vector<Header> out;
    for (auto& [name, value] : *v->object()) {
        if (!value.string()) return std::nullopt;
        out.emplace_back(name, *value.string());
    }
    return out;
}

json::Value failure(const std::string& reqId, std::string error) {
    return json::Object{{"reqId", reqId}, {"ok", false}, {"error", std::move(error)}};
}

constexpr const char* kCancelledText = "cancelled";

// Where a request went, for log lines: the host only, since a path or query may carry a key.
std::string hostOf(const std::string& url) {
    auto parts = common::url::split(url);
    return parts && !parts->host.empty() ? parts->host : "(no host)";
}

}  // namespace

struct NetAccess::Live {
    std::string reqId;
    std::string host;                              // for log lines
    vault::SecretSource::Ticket secretTicket = 0;  // non-zero while its credential is being read
    KeyGate::Ticket keyTicket = 0;                 // non-zero while the user is asked about its key
    HttpClient::Ticket ticket = 0;                 // 0 until handed to the client
    bool stream = false;
    long seq = 0;
    Utf8Stream text;
};

NetAccess::NetAccess(std::shared_ptr<HttpClient> client, std::weak_ptr<bridge::PageSink> page,
                     std::shared_ptr<vault::SecretSource> secrets, common::Workers& workers, Limits limits,
                     std::shared_ptr<KeyGate> keys)
    : client_(std::move(client)),
      page_(std::move(page)),
      secrets_(std::move(secrets)),
      keys_(keys ? std::move(keys) : std::make_shared<KeyGate>(nullptr, nullptr, nullptr)),
      workers_(workers),
      limits_(limits) {}

void NetAccess::reply(json::Value payload) {
    if (auto sink = page_.lock()) sink->pushFunction("__netReply", std::move(payload));
}

void NetAccess::netRequest(std::string reqId, std::string url, const json::Value& spec) {
    // Transport policy, on the host as the client will read it. A URL without a scheme counts as
    // https and fails in transfer; the client never guesses a scheme for it.
    auto target = parseTarget(url);
    auto written = common::url::split(url);
    std::string scheme = written ? written->scheme : std::string{};
    bool refused = target ? transportPolicy(*target) == Verdict::Refuse : (scheme != "" && scheme != "https");
    if (refused) {
        common::log::info("request to " + hostOf(url) + " refused: only https, or http to this machine");
        return reply(failure(reqId, kRefusalText));
    }

    HttpRequest request;
    request.url = url;
    const json::Value* streamFlag = spec.find("stream");
    bool stream = streamFlag && streamFlag->boolean() && *streamFlag->boolean();
    // A stream may run as long as bytes keep coming; its bytes are never kept, so no size cap either.
    request.timeout = stream ? std::chrono::milliseconds::zero() : limits_.requestCap;
    request.idleTimeout = limits_.requestIdle;
    request.maxBodyBytes = kMaxReplyBytes;
    request.allowTarget = transportPolicy;  // every redirect hop too
    request.allowConnection = connectionPolicy;
    // Browser practice for any redirect to another origin; the injected credential joins them below.
    request.originBoundHeaders = {"Authorization", "Cookie", "Proxy-Authorization"};

    auto* method = spec.stringAt("method");
    request.method = method ? *method : "POST";

    auto pageHeaders = stringMap(spec.find("headers"));
    if (pageHeaders)
        for (auto& [name, value] : *pageHeaders) setHeader(request.headers, name, value);

    if (auto* body = spec.stringAt("body")) request.body = *body;

    const json::Value* auth = spec.find("auth");
    const std::string* keyId = auth ? auth->stringAt("keyId") : nullptr;
    bool withCredential = auth && auth->object() && keyId && !keyId->empty();
    auto* headerName = withCredential ? auth->stringAt("headerName") : nullptr;
    auto authHeaders = withCredential ? stringMap(auth->find("headers")) : std::nullopt;

    // A header or key id with a NUL cannot be sent as the page wrote it: refused, never shortened.
    auto hasNul = [](const std::string& s) { return s.find('\0') != std::string::npos; };
    // A name with a lone surrogate arrives with U+FFFD in its place, which no header name holds.
    auto cutName = [](const std::string& s) { return s.find("\xEF\xBF\xBD") != std::string::npos; };
    auto anyNul = [&](const std::optional<std::vector<Header>>& headers) {
        return headers && std::any_of(headers->begin(), headers->end(), [&](const Header& h) {
                   return hasNul(h.first) || cutName(h.first) || hasNul(h.second);
               });
    };
    if (anyNul(pageHeaders) || anyNul(authHeaders) || hasNul(request.method) || (withCredential && hasNul(*keyId)) ||
        (headerName && hasNul(*headerName))) {
        common::log::info("request to " + hostOf(url) + " not sent: a header or key id holds a NUL");
        return reply(failure(reqId, kNulFieldText));
    }

    auto live = std::make_shared<Live>();
    live->reqId = std::move(reqId);
    live->host = hostOf(url);
    live->stream = stream;
    std::uint64_t id = nextId_++;
    live_.emplace(id, live);
    if (!withCredential) return send(id, std::move(request));

    auto* schemePtr = auth->stringAt("scheme");
    Credential credential{schemePtr ? *schemePtr : "bearer", headerName ? *headerName : std::string{},
                          authHeaders.value_or(std::vector<Header>{})};
    if (!secrets_) return send(id, withSecret(std::move(request), credential, ""));
    // Where the secret would go: a key is bound to origins, and one that is sent nowhere (scheme
    // "none", a header with no name) binds nothing and asks nothing.
    bool sendsSecret = credential.scheme != "none" && !(credential.scheme == "header" && credential.headerName.empty());
    std::string origin = sendsSecret ? vault::originOf(url).value_or("") : std::string{};
    // The read waits behind the page's earlier vault commands, off the main thread; a cancel while
    // it waits drops it.
    live->secretTicket = secrets_->get(
        *keyId, origin,
        [weak = weak_from_this(), id, keyId = *keyId, origin, request = std::move(request),
         credential = std::move(credential)](vault::SecretSource::Key key) mutable {
            auto self = weak.lock();
            if (!self) return;
            auto it = self->live_.find(id);
            if (it == self->live_.end()) return;
            it->second->secretTicket = 0;
            std::string value = key.secret.value_or("");
            // A stored secret that cannot travel in a header is not sent cut short or left out.
            if (credential.scheme != "none" && !isSafeHeaderValue(value)) {
                common::log::warning("request to " + it->second->host +
                                     " not sent: its stored secret cannot be written into a header");
                return self->drop(id, kNulFieldText);
            }
            if (value.empty() || origin.empty())
                return self->send(id, withSecret(std::move(request), credential, value));
            auto go = [weak, id, request = std::move(request), credential = std::move(credential),
                       value = std::move(value)](bool allowed) mutable {
                auto self = weak.lock();
                if (!self) return;
                auto it = self->live_.find(id);
                if (it == self->live_.end()) return;
                it->second->keyTicket = 0;
                if (!allowed) {
                    common::log::info("request to " + it->second->host + " not sent: its key is not allowed there");
                    return self->drop(id, kKeyRefusedText);
                }
                self->send(id, withSecret(std::move(request), credential, value));
            };
            auto ticket = self->keys_->check(keyId, origin, key.origins, std::move(go));
            // Still waiting for the user (an answer at once has already removed or sent it).
            if (auto again = self->live_.find(id); again != self->live_.end() && !again->second->ticket)
                again->second->keyTicket = ticket;
        });
}

void NetAccess::drop(std::uint64_t id, const char* error) {
    auto it = live_.find(id);
    if (it == live_.end()) return;
    std::string reqId = it->second->reqId;
    live_.erase(it);
    reply(failure(reqId, error));
}

HttpRequest NetAccess::withSecret(HttpRequest request, const Credential& credential, const std::string& secret) {
    auto add = [&](std::string name, std::string value) {
        request.originBoundHeaders.push_back(name);
        setHeader(request.headers, std::move(name), std::move(value));
    };
    if (credential.scheme == "none") {
    } else if (credential.scheme == "anthropic") {
        add("x-api-key", secret);
        setHeader(request.headers, "anthropic-version", "2023-06-01");
    } else if (credential.scheme == "header") {
        if (!credential.headerName.empty()) add(credential.headerName, secret);
    } else {
        add("Authorization", "Bearer " + secret);
    }
    for (auto& [name, value] : credential.headers) setHeader(request.headers, name, value);
    return request;
}

void NetAccess::send(std::uint64_t id, HttpRequest request) {
    auto it = live_.find(id);
    if (it == live_.end()) return;  // cancelled while it waited
    Live& live = *it->second;
    auto weak = weak_from_this();
    if (live.stream)
        request.onBody = [weak, id](long status, std::string bytes) {
            if (auto self = weak.lock()) self->piece(id, status, bytes);
        };
    live.ticket = client_->send(std::move(request), [weak, id](HttpResponse r) {
        if (auto self = weak.lock()) self->finish(id, std::move(r));
    });
}

void NetAccess::piece(std::uint64_t id, long status, const std::string& bytes) {
    auto it = live_.find(id);
    if (it == live_.end()) return;
    chunk(*it->second, status, it->second->text.feed(bytes));
}

void NetAccess::chunk(Live& live, long status, std::string text) {
    if (text.empty()) return;  // only the start of a character so far
    json::Object chunk{{"reqId", live.reqId}, {"seq", live.seq}, {"text", std::move(text)}};
    if (live.seq++ == 0) chunk.emplace_back("status", status);
    // The text is whole UTF-8 characters (the stream decoder's), so the call can always be written.
    if (auto sink = page_.lock()) sink->callGuarded("__netChunk", json::Value(std::move(chunk)));
}

void NetAccess::finish(std::uint64_t id, HttpResponse r) {
    using Outcome = HttpResponse::Outcome;
    auto it = live_.find(id);
    if (it == live_.end()) return;
    std::shared_ptr<Live> live = it->second;
    // A character cut off by the end of the body is incomplete: the page still gets U+FFFD.
    if (live->stream) chunk(*live, r.status, live->text.finish());
    live_.erase(it);
    const std::string& reqId = live->reqId;
    if (r.outcome != Outcome::Done) common::log::info("request to " + live->host + " failed: " + r.error);
    if (r.outcome == Outcome::Refused) return reply(failure(reqId, kRefusalText));
    if (r.outcome == Outcome::TooLarge) return reply(failure(reqId, kTooLargeText));
    if (r.outcome != Outcome::Done) return reply(failure(reqId, r.error));
    std::string_view text = common::asText(r.body);
    bool ok = r.status >= 200 && r.status <= 299;
    bool utf8 = live->stream || json::validUtf8(text);
    if (!utf8)
        common::log::warning("response from " + live->host + " (" + std::to_string(r.body.size()) +
                             " bytes) is not UTF-8; the page gets empty text");
    // A stream's text has reached the page in chunks.
    reply(json::Object{{"reqId", reqId},
                       {"ok", ok},
                       {"status", r.status},
                       {"text", !live->stream && utf8 ? std::string(text) : std::string{}}});
}

void NetAccess::netCancel(std::string reqId) {
    for (auto it = live_.begin(); it != live_.end();) {
        if (it->second->reqId != reqId) {
            ++it;
            continue;
        }
        if (it->second->secretTicket && secrets_) secrets_->cancel(it->second->secretTicket);
        if (it->second->keyTicket) keys_->cancel(it->second->keyTicket);
        if (it->second->ticket) client_->cancel(it->second->ticket);
        it = live_.erase(it);
        reply(failure(reqId, kCancelledText));
    }
}

void NetAccess::fetchImage(std::string url, std::string reqId) {
    std::string host = hostOf(url);
    HttpRequest request;
    request.method = "GET";
    request.url = std::move(url);
    request.timeout = limits_.imageCap;
    request.idleTimeout = limits_.imageIdle;
    request.maxBodyBytes = kImageMaxBytes;
    client_->send(std::move(request),
                  [weak = weak_from_this(), reqId = std::move(reqId), host = std::move(host)](HttpResponse r) mutable {
                      if (auto self = weak.lock()) self->deliverImage(std::move(reqId), host, std::move(r));
                  });
}

void NetAccess::deliverImage(std::string reqId, const std::string& host, HttpResponse r) {
    using Outcome = HttpResponse::Outcome;
    auto send = [page = page_](json::Value result) {
        if (auto sink = page.lock()) sink->pushWrapped("__imageFetched", std::move(result));
    };
    // The reason logged is the page's text unless a plainer one is given.
    auto error = [&](std::string text, const std::string& reason = {}) {
        common::log::info("image from " + host + " not fetched: " + (reason.empty() ? text : reason));
        send(json::Object{{"reqId", reqId}, {"error", std::move(text)}});
    };

    if (r.outcome == Outcome::Failed || r.outcome == Outcome::Refused) return error(r.error);
    if (r.status != 0 && (r.status < 200 || r.status > 299)) return error("HTTP " + std::to_string(r.status));
    if (r.outcome == Outcome::TooLarge) return error(kNotAnImageText, "larger than 25 MiB");

    // Sniffing is cheap; the base64 text of up to 25 MiB is not, so it is made on a worker.
    workers_.run(
        [body = std::make_shared<common::Bytes>(std::move(r.body))]() -> std::optional<std::string> {
            auto mime = sniffImage(*body);
            if (!mime) return std::nullopt;
            return common::dataurl::make(*mime, *body);
        },
        [send, reqId, host](std::optional<std::string> dataUrl) {
            if (!dataUrl) {
                common::log::info("image from " + host + " is not a PNG, JPEG, GIF, WebP or BMP");
                return send(json::Object{{"reqId", reqId}, {"error", kNotAnImageText}});
            }
            send(json::Object{{"reqId", reqId}, {"dataUrl", std::move(*dataUrl)}});
        });
}

}  // namespace net
