// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>

namespace app {

// Where the page lives when no --resources is given: beside an installed binary
// (<prefix>/share/tavrik), else the source tree when run from the build tree.
std::string defaultResourcesDir();

// A --resources folder as an absolute path: "~" and "~/…" in the home folder `home`, a relative
// path from `cwd`, ".." and "." resolved. The folder need not exist.
std::string absoluteResourcesDir(const std::string& given, const std::string& home, const std::string& cwd);

}  // namespace app
