#pragma once
// The request proxy (netRequest) and the remote image fetch (fetchImage): the page's network
// access, with credentials written in here so the page never sees them.
#include <memory>
#include <string>

#include "bridge/commands.h"
#include "bridge/page_sink.h"
#include "common/workers.h"
#include "net/http_client.h"
#include "vault/secret_source.h"

namespace net {

class NetAccess final : public bridge::NetCommands, public std::enable_shared_from_this<NetAccess> {
public:
    static constexpr std::chrono::milliseconds kRequestTimeout{120'000};
    static constexpr std::chrono::milliseconds kImageTimeout{20'000};
    // A response this large ends as a transfer failure instead of exhausting memory.
    static constexpr std::size_t kMaxResponseBytes = 256u * 1024 * 1024;

    // secrets may be null: a credential is then sent empty, as for a key id with no secret.
    NetAccess(std::shared_ptr<HttpClient> client, std::weak_ptr<bridge::PageSink> page,
              std::shared_ptr<vault::SecretSource> secrets, common::Workers& workers);

    void fetchImage(std::string url, std::string reqId) override;
    void netRequest(std::string reqId, std::string url, const json::Value& spec) override;

    // The reply's error when a header, header name or key id holds a NUL, or a stored secret cannot
    // be written into a header.
    static constexpr const char* kNulFieldText = "a header or key id cannot be sent as given";

private:
    struct Credential {
        std::string scheme;
        std::string headerName;  // scheme "header"
        std::vector<Header> headers;
    };
    static HttpRequest withSecret(HttpRequest request, const Credential& credential, const std::string& secret);
    void send(HttpRequest request, const std::string& reqId);
    void deliverImage(std::string reqId, HttpResponse response);

    std::shared_ptr<HttpClient> client_;
    std::weak_ptr<bridge::PageSink> page_;
    std::shared_ptr<vault::SecretSource> secrets_;
    common::Workers& workers_;
};

}  // namespace net
