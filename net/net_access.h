// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The request proxy (netRequest) and the remote image fetch (fetchImage): the page's network
// access, with credentials written in here so the page never sees them.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "bridge/commands.h"
#include "bridge/page_sink.h"
#include "common/workers.h"
#include "net/http_client.h"
#include "net/key_gate.h"
#include "vault/secret_source.h"

namespace net {

class NetAccess final : public bridge::NetCommands, public std::enable_shared_from_this<NetAccess> {
public:
    // Time limits: a transfer fails when no byte arrives for `idle`, and in any case after `cap`
    // (a stream has no cap). Tests shorten them.
    struct Limits {
        std::chrono::milliseconds requestIdle{120'000};
        std::chrono::milliseconds requestCap{10 * 60'000};
        std::chrono::milliseconds imageIdle{20'000};
        std::chrono::milliseconds imageCap{2 * 60'000};
    };
    // A whole (not streamed) reply larger than this ends with kTooLargeText as soon as it passes it.
    // The shell holds such a reply several times over on its way into the page (the body, its
    // text, the page call and WebKit's own copies), so a larger one is read with "stream": true,
    // whose pieces are never kept.
    static constexpr std::size_t kMaxReplyBytes = 32u * 1024 * 1024;
    static constexpr const char* kTooLargeText =
        "the reply is larger than 32 MiB: send the request with \"stream\": true to read it in pieces";

    // secrets may be null: a credential is then sent empty, as for a key id with no secret. keys
    // decides where a stored key may go; without one a key goes only to the origins it is bound to.
    NetAccess(std::shared_ptr<HttpClient> client, std::weak_ptr<bridge::PageSink> page,
              std::shared_ptr<vault::SecretSource> secrets, common::Workers& workers)
        : NetAccess(std::move(client), std::move(page), std::move(secrets), workers, Limits{}) {}
    NetAccess(std::shared_ptr<HttpClient> client, std::weak_ptr<bridge::PageSink> page,
              std::shared_ptr<vault::SecretSource> secrets, common::Workers& workers, Limits limits,
              std::shared_ptr<KeyGate> keys = nullptr);

    void fetchImage(std::string url, std::string reqId) override;
    void netRequest(std::string reqId, std::string url, const json::Value& spec) override;
    void netCancel(std::string reqId) override;

    // The reply's error when a header, header name or key id holds a NUL, or a stored secret cannot
    // be written into a header.
    static constexpr const char* kNulFieldText = "a header or key id cannot be sent as given";
    // The reply's error when the user did not let a stored key go to the request's origin. Sent in
    // Chinese, whatever the interface language, as the transport refusal is; nothing was sent.
    static constexpr const char* kKeyRefusedText = "未允许把密钥发送到这个主机";

private:
    struct Credential {
        std::string scheme;
        std::string headerName;  // scheme "header"
        std::vector<Header> headers;
    };
    static HttpRequest withSecret(HttpRequest request, const Credential& credential, const std::string& secret);
    struct Live;  // one unfinished netRequest

    void deliverImage(std::string reqId, const std::string& host, HttpResponse response);
    void send(std::uint64_t id, HttpRequest request);
    void piece(std::uint64_t id, long status, const std::string& bytes);
    void finish(std::uint64_t id, HttpResponse response);
    void chunk(Live& live, long status, std::string text);
    void reply(json::Value payload);
    void drop(std::uint64_t id, const char* error);  // ends a request before it is sent

    std::shared_ptr<HttpClient> client_;
    std::weak_ptr<bridge::PageSink> page_;
    std::shared_ptr<vault::SecretSource> secrets_;
    std::shared_ptr<KeyGate> keys_;
    common::Workers& workers_;
    Limits limits_;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, std::shared_ptr<Live>> live_;  // by our own id: the page's reqId may repeat
};

}  // namespace net
