// SPDX-License-Identifier: GPL-3.0-or-later
#include "webpolicy/nav_guard.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/gtk_support.h"

namespace {

using webpolicy::NavDecision;
using webpolicy::NavGuard;
namespace fs = std::filesystem;

// resources/html with a subfolder and two links, a sibling html2, and a file beside html.
class NavGuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("res/html/index.html", "start");
        dir.write("res/html/sub/page.html", "sub");
        dir.write("res/html/my page.html", "spaces");
        dir.write("res/html2/evil.html", "sibling");
        dir.write("res/secret.html", "outside");
        fs::create_symlink("../secret.html", dir.file("res/html/link-out.html"));
        fs::create_symlink("sub/page.html", dir.file("res/html/link-in.html"));
        fs::create_symlink(dir.file("res"), dir.file("res-link"));
    }
    std::string url(const std::string& rest) const { return "file://" + dir.path() + "/res/" + rest; }

    testsupport::TempDir dir;
};

TEST_F(NavGuardTest, DecidesEachKindOfUrl) {
    NavGuard guard(dir.file("res"));
    struct Case {
        std::optional<std::string> url;
        NavDecision expected;
    };
    const Case cases[] = {
        {url("html/index.html"), NavDecision::Allow},
        {url("html/index.html?x=1#top"), NavDecision::Allow},
        {url("html/sub/page.html"), NavDecision::Allow},
        {url("html/my%20page.html"), NavDecision::Allow},
        {url("html"), NavDecision::Allow},
        {url("html/link-in.html"), NavDecision::Allow},
        {"file://localhost" + dir.path() + "/res/html/index.html", NavDecision::Allow},
        {"FILE://" + dir.path() + "/res/html/index.html", NavDecision::Allow},
        {"file://" + dir.path() + "/res-link/html/index.html", NavDecision::Allow},
        // A sibling whose name merely starts with "html" is outside.
        {url("html2/evil.html"), NavDecision::Cancel},
        {url("html/../secret.html"), NavDecision::Cancel},
        {url("html/%2e%2e/secret.html"), NavDecision::Cancel},
        {url("html/%2E%2E/html2/evil.html"), NavDecision::Cancel},
        {url("html/..%2fsecret.html"), NavDecision::Cancel},
        {url("html/..%2Fsecret.html"), NavDecision::Cancel},
        {url("html/index.html%00.png"), NavDecision::Cancel},
        {url("html/bad%zz.html"), NavDecision::Cancel},
        {url("html/trailing%2"), NavDecision::Cancel},
        {url("html/link-out.html"), NavDecision::Cancel},
        {url("secret.html"), NavDecision::Cancel},
        {"file://otherhost" + dir.path() + "/res/html/index.html", NavDecision::Cancel},
        {"file:relative/html/index.html", NavDecision::Cancel},
        {"https://example.com/", NavDecision::OpenInBrowser},
        {"HTTPS://EXAMPLE.COM/Path", NavDecision::OpenInBrowser},
        {"http://127.0.0.1:8080/x", NavDecision::OpenInBrowser},
        {"mailto:someone@example.com", NavDecision::Cancel},
        {"data:text/html,<p>x</p>", NavDecision::Cancel},
        {"blob:file:///1234", NavDecision::Cancel},
        {"javascript:alert(1)", NavDecision::Cancel},
        {"ftp://example.com/", NavDecision::Cancel},
        {"about:blank", NavDecision::Allow},
        {"about:blank#x", NavDecision::Cancel},
        {"about:srcdoc", NavDecision::Cancel},
        {"ABOUT:BLANK", NavDecision::Cancel},
        {"", NavDecision::Cancel},
        {std::nullopt, NavDecision::Cancel},
    };
    for (const auto& c : cases) EXPECT_EQ(guard.decide(c.url), c.expected) << c.url.value_or("(no URL)");
}

TEST_F(NavGuardTest, AFileUrlNamesThisMachineOnlyWithAnEmptyOrLocalHost) {
    NavGuard guard(dir.file("res"));
    const std::string path = dir.path() + "/res/html/index.html";
    for (const char* authority :
         {"user@localhost", "@localhost", "localhost:80", "localhost.", "127.0.0.1", "localhost%00", "[::1]"})
        EXPECT_EQ(guard.decide(std::string("file://") + authority + path), NavDecision::Cancel) << authority;
    EXPECT_EQ(guard.decide("file://LocalHost" + path), NavDecision::Allow);
}

TEST_F(NavGuardTest, WithoutResourcesOnlyBlankAndTheBrowserRemain) {
    NavGuard guard("");
    EXPECT_EQ(guard.allowedDir(), "");
    EXPECT_EQ(guard.decide(url("html/index.html")), NavDecision::Cancel);
    EXPECT_EQ(guard.decide("file:///"), NavDecision::Cancel);
    EXPECT_EQ(guard.decide("about:blank"), NavDecision::Allow);
    EXPECT_EQ(guard.decide("https://example.com/"), NavDecision::OpenInBrowser);
}

TEST_F(NavGuardTest, AllowedDirIsStandardisedAndResolved) {
    NavGuard viaLink(dir.file("res-link/./html/../"));
    EXPECT_EQ(viaLink.allowedDir(), fs::canonical(dir.file("res/html")).string());
}

TEST(NavGuardPaths, DecodeAndStandardise) {
    EXPECT_EQ(webpolicy::fileUrlPath("file:///a/b%20c/%E4%B8%AD.html?q#f"), "/a/b c/\xE4\xB8\xAD.html");
    EXPECT_EQ(webpolicy::fileUrlPath("file:///a%2fb"), std::nullopt);
    EXPECT_EQ(webpolicy::fileUrlPath("https:///a"), std::nullopt);
    EXPECT_EQ(webpolicy::standardizePath("/a/./b//c/../d/"), "/a/b/d");
    EXPECT_EQ(webpolicy::standardizePath("/../../x"), "/x");
    EXPECT_EQ(webpolicy::standardizePath("/a/.."), "/");
}

}  // namespace
