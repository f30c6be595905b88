// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <limits>

#include "common/file_read.h"
#include "common/paths.h"
#include "common/text.h"
#include "support/gtk_support.h"

using namespace common;

TEST(Text, CaseFoldingTouchesOnlyAsciiLetters) {
    EXPECT_EQ(asciiLower("Content-TYPE: Image/PNG"), "content-type: image/png");
    // UTF-8 letters keep their bytes: "İ" and "É" are not ASCII and must not be mangled.
    EXPECT_EQ(asciiLower("İSTANBUL Émile"), "İstanbul Émile");
    EXPECT_TRUE(equalsIgnoringAsciiCase("X-Api-Key", "x-API-key"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("key", "keys"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("É", "é"));
}

TEST(Paths, LastComponent) {
    const std::pair<const char*, const char*> cases[] = {
        {"/home/me/board.json", "board.json"},
        {"dir/sub/", "sub"},
        {"/x//", "x"},
        {"name", "name"},
        {"dir/.hidden", ".hidden"},
        {"/", ""},
        {"", ""},
    };
    for (auto [path, last] : cases) EXPECT_EQ(paths::lastComponent(path), last) << path;
}

TEST(FileRead, RegularFilesOnlyAndNeverMuchPastTheLimit) {
    testsupport::TempDir dir;
    dir.write("ten", "0123456789");
    dir.write("empty", "");
    const struct {
        std::size_t limit;
        std::size_t got;  // one past the limit tells "too big"
    } cases[] = {{10, 10}, {9, 10}, {3, 4}, {0, 1}, {std::numeric_limits<std::size_t>::max(), 10}};
    for (auto c : cases) {
        auto bytes = readRegularFile(dir.file("ten"), c.limit);
        ASSERT_TRUE(bytes) << c.limit;
        EXPECT_EQ(asText(*bytes), std::string("0123456789").substr(0, c.got)) << c.limit;
    }
    auto empty = readRegularFile(dir.file("empty"), 10);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    // A pipe with no writer would block an ordinary open; a device never ends.
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    for (std::string refused : {dir.file("pipe"), dir.path(), std::string("/dev/zero"), dir.file("missing")})
        EXPECT_FALSE(readRegularFile(refused, 100)) << refused;
}
