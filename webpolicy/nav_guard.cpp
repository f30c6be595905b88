// SPDX-License-Identifier: GPL-3.0-or-later
#include "webpolicy/nav_guard.h"

#include <filesystem>
#include <vector>

#include "common/text.h"
#include "common/url.h"

namespace webpolicy {
namespace {

namespace fs = std::filesystem;

// The URL's scheme, lower-cased; empty when the text does not start with one.
std::string schemeOf(const std::string& url) {
    auto parts = common::url::split(url);
    return parts ? parts->scheme : std::string{};
}

}  // namespace

std::optional<std::string> fileUrlPath(const std::string& url) {
    auto parts = common::url::split(url);
    if (!parts || parts->scheme != "file" || !parts->hasAuthority) return std::nullopt;
    // Only this machine: an empty host or localhost, with no user or port.
    std::string host = common::asciiLower(parts->authority);
    if (!host.empty() && host != "localhost") return std::nullopt;
    if (parts->path.empty()) return std::nullopt;
    // An encoded separator would be read as a real one by the loader after our check; a NUL would
    // cut the path short.
    return common::url::percentDecode(parts->path, std::string_view("/\0", 2));
}

std::string standardizePath(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& part : parts) out += "/" + part;
    return out.empty() ? "/" : out;
}

std::string resolveSymlinks(const std::string& path) {
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(path, ec);
    if (ec) return path;
    std::string s = resolved.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

NavGuard::NavGuard(const std::string& resourcesDir) {
    if (resourcesDir.empty()) return;
    std::error_code ec;
    fs::path absolute = fs::absolute(fs::path(resourcesDir) / "html", ec);
    if (ec) return;
    allowedDir_ = resolveSymlinks(standardizePath(absolute.string()));
}

NavDecision NavGuard::decide(const std::optional<std::string>& url) const {
    if (!url || url->empty()) return NavDecision::Cancel;
    if (*url == "about:blank") return NavDecision::Allow;
    std::string scheme = schemeOf(*url);
    if (scheme == "file") {
        if (allowedDir_.empty()) return NavDecision::Cancel;
        auto path = fileUrlPath(*url);
        if (!path || path->empty() || path->front() != '/') return NavDecision::Cancel;
        // Standardise first, as the loader does, then follow links: a link inside the folder that
        // points outside it must not count as inside.
        std::string resolved = resolveSymlinks(standardizePath(*path));
        // The folder itself or below it; a sibling that merely starts with the same name is outside.
        bool inside = resolved == allowedDir_ || (resolved.size() > allowedDir_.size() &&
                                                  resolved.compare(0, allowedDir_.size(), allowedDir_) == 0 &&
                                                  (allowedDir_ == "/" || resolved[allowedDir_.size()] == '/'));
        return inside ? NavDecision::Allow : NavDecision::Cancel;
    }
    if (scheme == "http" || scheme == "https") return NavDecision::OpenInBrowser;
    return NavDecision::Cancel;
}

}  // namespace webpolicy
