// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file's bytes as a string, for tests that check what was written ("" when it cannot be read).
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace testsupport
