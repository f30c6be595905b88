// SPDX-License-Identifier: GPL-3.0-or-later
// A request the page does not get what it asked for leaves one line in the log saying why, and
// no line ever holds a secret, a header value, a path or a query.
#include <mutex>

#include "common/log.h"
#include "net_fixture.h"

namespace {

using nettest::Net;
using testsupport::HttpTestServer;
using testsupport::ReceivedRequest;
using testsupport::ScriptedResponse;

struct LogLines {
    std::mutex mutex;
    std::vector<std::string> lines;
    LogLines() {
        // The dispatcher's trail of every command is debug; what failed is info or a warning.
        common::log::setSink([this](common::log::Level level, std::string_view line) {
            if (level == common::log::Level::Debug) return;
            std::lock_guard lock(mutex);
            lines.emplace_back(line);
        });
    }
    ~LogLines() { common::log::setSink({}); }
    std::vector<std::string> take() {
        std::lock_guard lock(mutex);
        return std::exchange(lines, {});
    }
};

TEST(NetLog, EveryFailureSaysWhyAndNoLineHoldsASecretOrTheUrlsPath) {
    HttpTestServer server;
    server.handle([](const ReceivedRequest& r) {
        if (r.target.rfind("/latin1", 0) == 0) return ScriptedResponse{200, {}, "caf\xE9", false};
        return ScriptedResponse{200, {}, "<html>not an image</html>", false};
    });
    Net net;
    net.secrets->values["split"] = "sk-SECRET\r\nX-Injected: 1";
    LogLines log;
    const std::string origin = server.origin();
    const std::string closed = "http://127.0.0.1:" + std::to_string(testsupport::closedLoopbackPort());

    struct Case {
        const char* name;
        std::function<void()> run;
        const char* reason;  // a word the one line must hold
    };
    const std::vector<Case> cases = {
        {"refused by the transport policy",
         [&] {
             net.netRequest({{"reqId", "1"}, {"url", "http://192.168.1.5/v1?key=QUERYKEY"}});
         },
         "refused"},
        {"transfer failed",
         [&] {
             net.netRequest({{"reqId", "2"}, {"url", closed + "/v1/PATHSECRET"}});
         },
         "failed"},
        {"body not UTF-8",
         [&] {
             net.netRequest({{"reqId", "3"}, {"url", origin + "/latin1?key=QUERYKEY"}});
         },
         "UTF-8"},
        {"stored secret cannot travel in a header",
         [&] {
             net.netRequest({{"reqId", "4"}, {"url", origin + "/v1"}, {"auth", json::Object{{"keyId", "split"}}}});
         },
         "secret"},
        {"a page header that would split the request",
         [&] {
             net.netRequest(
                 {{"reqId", "5"}, {"url", origin + "/v1"}, {"headers", json::Object{{"X-Page", "HDRVALUE\r\nX: 1"}}}});
         },
         "header"},
        {"image that is not one", [&] { net.fetchImage(origin + "/page.html?key=QUERYKEY"); }, "not a PNG"},
        {"image transfer failed", [&] { net.fetchImage(closed + "/a.png"); }, "not fetched"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.run();
        auto lines = log.take();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find(c.reason), std::string::npos) << lines[0];
        EXPECT_TRUE(lines[0].find("127.0.0.1") != std::string::npos ||
                    lines[0].find("192.168.1.5") != std::string::npos)
            << "the line names the host: " << lines[0];
        for (const char* hidden : {"SECRET", "QUERYKEY", "HDRVALUE", "/v1", "page.html"})
            EXPECT_EQ(lines[0].find(hidden), std::string::npos) << lines[0];
    }
}

}  // namespace
