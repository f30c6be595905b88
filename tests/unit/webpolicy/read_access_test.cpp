// SPDX-License-Identifier: GPL-3.0-or-later
// Links below the page's folder: the read rules match URLs, so a link that leads outside would
// let the page read its target. Each kind of link, and where it must be found.
#include "webpolicy/read_access.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

TEST(ReadAccess, LinksLeavingTheHtmlFolderAreFound) {
    char dir[] = "/tmp/tavrik-links-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const fs::path base = dir, html = base / "html";
    fs::create_directories(html / "img");
    fs::create_directories(base / "out");
    fs::create_directories(base / "html2");
    std::ofstream(html / "img" / "a.png") << "in";
    std::ofstream(base / "out" / "secret.txt") << "out";

    struct Case {
        const char* link;  // below html/
        fs::path to;       // as written in the link
        bool leaves;
    } cases[] = {
        {"same.png", "img/a.png", false},            // relative, inside
        {"img/up.png", "../img/a.png", false},       // up and back in
        {"pics", "img", false},                      // a folder inside
        {"abs.png", html / "img" / "a.png", false},  // absolute, inside
        {"secret.txt", "../out/secret.txt", true},   // a file beside the folder
        {"out", base / "out", true},                 // a folder outside
        {"img/etc", "/etc", true},                   // deeper down, to the system
        {"sibling", "../html2", true},               // a folder whose name starts the same
        {"chain.txt", "secret.txt", true},           // a link to a link that leaves
        {"later.txt", "../out/not-yet.txt", true},   // dangling: the target may be made later
        {"root", "..", true},                        // the parent itself
        {"html", ".", false},                        // the folder itself
    };
    for (const auto& c : cases) fs::create_symlink(c.to, html / c.link);

    auto found = webpolicy::linksLeaving(html.string());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        bool listed = std::any_of(found.begin(), found.end(), [&](auto& l) { return l.link == c.link; });
        EXPECT_EQ(listed, c.leaves);
    }
    auto out = std::find_if(found.begin(), found.end(), [](auto& l) { return l.link == "out"; });
    ASSERT_NE(out, found.end());
    EXPECT_EQ(out->target, (fs::canonical(base) / "out").string());
    // A folder without links, and one that does not exist, have none.
    EXPECT_TRUE(webpolicy::linksLeaving((base / "out").string()).empty());
    EXPECT_TRUE(webpolicy::linksLeaving((base / "missing").string()).empty());
    fs::remove_all(base);
}

}  // namespace
