// SPDX-License-Identifier: GPL-3.0-or-later
// fetchImage end to end: dispatcher, libcurl, a real server on loopback, the wrapped page call.
#include "common/base64.h"
#include "net/image_sniff.h"
#include "net_fixture.h"

namespace {

using nettest::Net;
using testsupport::HttpTestServer;
using testsupport::ReceivedRequest;
using testsupport::ScriptedResponse;

const std::string kNotImage = net::kNotAnImageText;

std::string padded(std::string head, size_t size) {
    head.resize(size, '\x01');
    return head;
}

TEST(ImageFetch, SignaturesSizesAndStatuses) {
    const std::string png = padded("\x89PNG\r\n\x1a\n", 40);
    std::map<std::string, ScriptedResponse> routes = {
        {"/png", {200, {{"Content-Type", "application/octet-stream"}}, png}},
        {"/jpeg", {200, {}, padded("\xFF\xD8\xFF\xE0", 12)}},
        {"/gif", {200, {{"Content-Type", "image/gif"}}, padded("GIF89a", 12)}},
        {"/gif10", {200, {{"Content-Type", "image/gif"}}, padded("GIF89a", 10)}},
        {"/bmp", {200, {}, padded("BM", 30)}},
        {"/webp", {200, {}, padded(std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), 30)}},
        {"/wav", {200, {{"Content-Type", "image/webp"}}, padded(std::string("RIFF\x10\0\0\0WAVEfmt ", 16), 30)}},
        {"/svg", {200, {{"Content-Type", "image/svg+xml"}}, R"(<svg xmlns="http://www.w3.org/2000/svg"/>)"}},
        {"/avif",
         {200,
          {},
          padded(std::string("\0\0\0\x1c"
                             "ftypavif",
                             12),
                 40)}},
        {"/html", {200, {{"Content-Type", "text/html"}}, "<!doctype html><title>Error</title>"}},
        {"/empty", {200, {}, ""}},
        {"/404", {404, {}, png}},
        {"/500-big", {500, {}, std::string(net::kImageMaxBytes + 10, 'x'), true}},
        {"/limit", {200, {}, padded("\x89PNG\r\n\x1a\n", net::kImageMaxBytes), true}},
        {"/limit+1", {200, {}, padded("\x89PNG\r\n\x1a\n", net::kImageMaxBytes + 1), true}},
        {"/limit+1-sized", {200, {}, padded("\x89PNG\r\n\x1a\n", net::kImageMaxBytes + 1)}},
        {"/moved", ScriptedResponse::redirect(302, "/png")},
        {"/to-ftp", ScriptedResponse::redirect(302, "ftp://127.0.0.1/x.png")},
    };
    HttpTestServer server;
    server.handle([&](const ReceivedRequest& r) {
        auto it = routes.find(r.target);
        return it == routes.end() ? ScriptedResponse{404, {}, ""} : it->second;
    });
    Net net;

    struct Case {
        const char* path;
        std::string mime;   // success: the data URL's type
        std::string error;  // failure: the error text
    };
    const std::vector<Case> cases = {
        {"/png", "image/png", ""},   {"/jpeg", "image/jpeg", ""},       {"/gif", "image/gif", ""},
        {"/bmp", "image/bmp", ""},   {"/webp", "image/webp", ""},       {"/moved", "image/png", ""},
        {"/gif10", "", kNotImage},   {"/wav", "", kNotImage},           {"/svg", "", kNotImage},
        {"/avif", "", kNotImage},    {"/html", "", kNotImage},          {"/empty", "", kNotImage},
        {"/404", "", "HTTP 404"},    {"/500-big", "", "HTTP 500"},      {"/limit", "image/png", ""},
        {"/limit+1", "", kNotImage}, {"/limit+1-sized", "", kNotImage},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto result = net.fetchImage(server.url(c.path));
        ASSERT_TRUE(result);
        ASSERT_TRUE(result->object());
        EXPECT_EQ(*result->stringAt("reqId"), "img-1");
        EXPECT_EQ(result->object()->size(), 2u);
        if (c.error.empty()) {
            ASSERT_TRUE(result->stringAt("dataUrl")) << (result->stringAt("error") ? *result->stringAt("error") : "");
            const std::string& url = *result->stringAt("dataUrl");
            std::string prefix = "data:" + c.mime + ";base64,";
            ASSERT_EQ(url.rfind(prefix, 0), 0u);
            auto bytes = common::base64::decode(std::string_view(url).substr(prefix.size()));
            ASSERT_TRUE(bytes);
            std::string path = std::string(c.path) == "/moved" ? "/png" : c.path;
            EXPECT_TRUE(common::asText(*bytes) == routes.at(path).body);
        } else {
            ASSERT_TRUE(result->stringAt("error"));
            EXPECT_EQ(*result->stringAt("error"), c.error);
        }
    }
    for (auto& r : server.requests()) {
        EXPECT_EQ(r.method, "GET");
        EXPECT_FALSE(r.has("Accept-Encoding"));
    }

    // Transfer failures carry the library's description; a redirect to another scheme is one.
    for (const std::string& url :
         {"http://127.0.0.1:" + std::to_string(testsupport::closedLoopbackPort()) + "/x.png", server.url("/to-ftp")}) {
        auto result = net.fetchImage(url);
        ASSERT_TRUE(result);
        ASSERT_TRUE(result->stringAt("error")) << url;
        EXPECT_NE(*result->stringAt("error"), kNotImage);
        EXPECT_NE(*result->stringAt("error"), "");
    }
}

}  // namespace
