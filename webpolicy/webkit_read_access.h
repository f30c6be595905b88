// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <webkit/webkit.h>

#include <functional>
#include <string>
#include <vector>

namespace webpolicy {

// The file: URL prefixes under which the html folder of `resourcesDir` is reached: as the page is
// loaded, standardised, and with symlinks resolved (duplicates removed), each ending in "/".
std::vector<std::string> htmlFolderUrls(const std::string& resourcesDir);

// Compiles the read-access rules for the current resources folder (a few milliseconds, off the
// main thread) and adds them to `manager`; then calls `ready` once, on the main thread. The page
// must be loaded only from `ready`: before it, nothing confines what the page reads. When the rules
// cannot be stored (in the runtime folder, nor in the cache folder that stands in for it) or the
// page's folder links outside itself, `ready` gets false and why, and the page must stay unloaded.
void confineToHtmlFolder(WebKitUserContentManager* manager, const std::string& resourcesDir,
                         std::function<void(bool confined, const std::string& why)> ready);

}  // namespace webpolicy
