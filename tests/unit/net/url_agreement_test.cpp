// SPDX-License-Identifier: GPL-3.0-or-later
// The host a URL is checked against is the host libcurl sends to. Each URL is read by the shell's
// one URL reader (the bridge's check and the proxy's target), then handed to libcurl with every
// request going through a recording proxy on loopback, which shows where libcurl would have
// connected without ever leaving this machine.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include "common/text.h"
#include "common/url.h"
#include "net/url_target.h"
#include "support/http_test_server.h"

namespace {

using testsupport::HttpTestServer;
using testsupport::ReceivedRequest;
using testsupport::ScriptedResponse;

struct Sent {
    std::string host;
    long port = 0;
};

// Where libcurl sends `url`: the CONNECT target for https, the Host header for http (no port
// there means the scheme's default). Nothing when libcurl refuses the URL.
std::optional<Sent> whereCurlSends(const std::string& url, HttpTestServer& proxy) {
    std::size_t before = proxy.requests().size();
    CURL* easy = curl_easy_init();
    std::string proxyUrl = proxy.url("");
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_PROXY, proxyUrl.c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");  // every host through the proxy, none resolved here
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, 10'000L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(
        easy, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t n, void*) { return size * n; });
    curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    auto requests = proxy.requests();
    if (requests.size() == before) return std::nullopt;
    const ReceivedRequest& r = requests.back();
    bool tunnel = r.method == "CONNECT";
    std::string hostPort = tunnel ? r.target : r.header("Host");
    std::size_t close = hostPort.front() == '[' ? hostPort.find(']') : 0;
    std::size_t colon = hostPort.find(':', close);
    Sent sent{common::asciiLower(hostPort.substr(0, colon)), tunnel ? 443 : 80};
    if (colon != std::string::npos) sent.port = std::stol(hostPort.substr(colon + 1));
    return sent;
}

TEST(UrlAgreement, TheCheckedHostIsTheHostLibcurlSendsTo) {
    HttpTestServer proxy;
    proxy.handle([](const ReceivedRequest&) { return ScriptedResponse{403, {}, "", false}; });

    struct Case {
        std::string url;
        bool bridge;       // the dispatcher's URL check accepts it
        std::string host;  // the proxy's target, "" when it refuses the URL
        long port;
    };
    const std::vector<Case> cases = {
        {"http://localhost:8080/v1", true, "localhost", 8080},
        {"HTTP://LocalHost/", true, "localhost", 80},
        {"hTTpS://api.example/", true, "api.example", 443},
        // userinfo and "@" elsewhere
        {"http://evil.example@localhost/", true, "localhost", 80},
        {"http://localhost@evil.example/", true, "evil.example", 80},
        {"http://user:pa:ss@localhost:81/", true, "localhost", 81},
        {"http://@localhost/", true, "localhost", 80},
        {"http://evil@a@localhost/", true, "", 0},
        {"http://localhost/@evil.example", true, "localhost", 80},
        {"http://localhost?@evil.example/", true, "localhost", 80},
        {"http://localhost#@evil.example/", true, "localhost", 80},
        // IPv6 literals
        {"http://[::1]:8080/", true, "[::1]", 8080},
        {"http://[0:0::1]/", true, "[::1]", 80},
        {"http://[::FFFF:127.0.0.1]/", true, "[::ffff:127.0.0.1]", 80},
        {"http://[fe80::1%25eth0]/", true, "", 0},
        {"http://[::1/", true, "", 0},
        {"http://[::1]x/", true, "", 0},
        // numeric IPv4 forms and percent-encoded names
        {"http://127.1/", true, "127.0.0.1", 80},
        {"http://0x7f.0.0.1/", true, "127.0.0.1", 80},
        {"http://2130706433/", true, "127.0.0.1", 80},
        {"http://0177.0.0.1/", true, "127.0.0.1", 80},
        {"http://08.1/", true, "08.1", 80},
        {"http://%6c%6fcalhost/", true, "localhost", 80},
        {"http://%31%32%37.0.0.1/", true, "127.0.0.1", 80},
        {"http://lo%00calhost/", true, "", 0},
        {"http://lo%2fcal/", true, "", 0},
        {"http://%5b::1%5d/", true, "", 0},
        // IDN: only its ASCII form is a host name here
        {"http://xn--nxasmq6b.example/", true, "xn--nxasmq6b.example", 80},
        {"http://b%C3%BCcher.example/", true, "", 0},
        {"http://b\xC3\xBC"
         "cher.example/",
         false, "", 0},
        // trailing dot: a different name to a client, never normalised away
        {"http://localhost./", true, "localhost.", 80},
        {"http://127.0.0.1./", true, "127.0.0.1.", 80},
        // backslashes, whitespace and control characters
        {"http://a\\b@localhost/", false, "localhost", 80},
        {"http://local\\host/", false, "", 0},
        {"http://local host/", false, "", 0},
        {"http://localhost\t/", false, "", 0},
        {"http://localhost\r\nHost: evil/", false, "", 0},
        {" http://localhost/", false, "", 0},
        // ports
        {"http://localhost:/", true, "localhost", 80},
        {"http://localhost:0080/", true, "localhost", 80},
        {"http://localhost:65535/", true, "localhost", 65535},
        {"http://localhost:65536/", true, "", 0},
        {"http://localhost:+80/", true, "", 0},
        {"http://localhost:80a/", true, "", 0},
        {"http://localhost:8080:90/", true, "", 0},
        {"http://localhost:99999999999999999999/", true, "", 0},
        {"https://api.example:8443/", true, "api.example", 8443},
        // no host
        {"http:///localhost/", true, "", 0},
        {"http://user@/", true, "", 0},
        {"http:localhost", true, "", 0},
        {"//localhost/", true, "", 0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(common::url::parse(c.url).has_value(), c.bridge);
        auto target = net::parseTarget(c.url);
        EXPECT_EQ(target ? target->host : "", c.host);
        EXPECT_EQ(target ? target->port : 0, c.port);
        auto sent = whereCurlSends(c.url, proxy);
        // Where the check found a host, libcurl sends there; a URL refused here is never handed over,
        // whatever libcurl would make of it.
        if (!target) continue;
        ASSERT_TRUE(sent) << "libcurl refused a URL the check accepted";
        EXPECT_EQ(sent->host, target->host);
        EXPECT_EQ(sent->port, target->port);
    }
}

}  // namespace
