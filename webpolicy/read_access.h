// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>
#include <vector>

namespace webpolicy {

// The page may read only its own folder. These rules, in WebKit's content-blocker JSON, refuse every
// file: load except those below one of `folderUrls` (each a "file:///…/" prefix ending in a slash),
// and refuse any file: URL holding an encoded slash, which WebKit's file loader would decode into a
// real separator after the rules have matched. A top-level document is left to the navigation guard,
// which is the authority on where the page itself may go.
std::string readAccessRules(const std::vector<std::string>& folderUrls);

// A symbolic link below the html folder that resolves outside it, with where it leads.
struct LeavingLink {
    std::string link;    // relative to the html folder
    std::string target;  // resolved, absolute
};

// The links below htmlFolder that resolve (or, dangling, would resolve) outside it. The read rules
// match URLs, not files: through such a link the page would read whatever it points to, so a page
// that has one is not loaded.
std::vector<LeavingLink> linksLeaving(const std::string& htmlFolder);

}  // namespace webpolicy
