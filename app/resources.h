#pragma once
#include <string>

namespace app {

// Where the page lives when no --resources is given: beside an installed binary
// (<prefix>/share/tavrik), else the source tree when run from the build tree.
std::string defaultResourcesDir();

}  // namespace app
