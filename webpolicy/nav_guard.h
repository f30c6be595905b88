// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <optional>
#include <string>

namespace webpolicy {

// What the web view does with one navigation (or new-window) request.
enum class NavDecision {
    Allow,
    OpenInBrowser,  // cancel in the web view and hand the URL to the default browser
    Cancel,
};

// Keeps the web view inside the resources' html folder. Each decision depends only on the URL.
class NavGuard {
public:
    // resourcesDir holds the html folder; an empty string refuses every file URL.
    explicit NavGuard(const std::string& resourcesDir);

    NavDecision decide(const std::optional<std::string>& url) const;

    // The html folder, standardised and with symlinks resolved; empty when there is none.
    const std::string& allowedDir() const { return allowedDir_; }

private:
    std::string allowedDir_;
};

// The local path a file URL names, percent-decoded, or nothing when the URL is not a plain local
// file URL: another host, a malformed escape, an encoded slash or NUL. Query and fragment are not
// part of the path.
std::optional<std::string> fileUrlPath(const std::string& url);

// "." and ".." segments and repeated separators removed, no trailing separator; ".." above the root
// stays at the root. Expects an absolute path.
std::string standardizePath(const std::string& path);

// The path with every symlink of its existing leading part resolved (the rest kept as it is).
std::string resolveSymlinks(const std::string& path);

}  // namespace webpolicy
