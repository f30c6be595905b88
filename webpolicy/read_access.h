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

}  // namespace webpolicy
