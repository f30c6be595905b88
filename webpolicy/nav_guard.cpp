#include "webpolicy/nav_guard.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace webpolicy {
namespace {

namespace fs = std::filesystem;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), lower);
    return s;
}

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The URL's scheme, lower-cased; empty when the text does not start with one.
std::string schemeOf(const std::string& url) {
    std::size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0 || !isAlpha(url[0])) return {};
    for (std::size_t i = 1; i < colon; ++i) {
        char c = url[i];
        if (!isAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return {};
    }
    return lowered(url.substr(0, colon));
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::optional<std::string> fileUrlPath(const std::string& url) {
    if (schemeOf(url) != "file") return std::nullopt;
    std::string rest = url.substr(5);
    if (rest.rfind("//", 0) != 0) return std::nullopt;
    rest.erase(0, 2);
    std::size_t slash = rest.find('/');
    if (slash == std::string::npos) return std::nullopt;
    // Only this machine: an empty host or localhost.
    std::string host = lowered(rest.substr(0, slash));
    if (!host.empty() && host != "localhost") return std::nullopt;
    std::string encoded = rest.substr(slash, rest.find_first_of("?#", slash) - slash);

    std::string path;
    path.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            path += encoded[i];
            continue;
        }
        int hi = i + 2 < encoded.size() ? hexValue(encoded[i + 1]) : -1;
        int lo = hi >= 0 ? hexValue(encoded[i + 2]) : -1;
        if (lo < 0) return std::nullopt;
        char c = static_cast<char>(hi * 16 + lo);
        // An encoded separator would be read as a real one by the loader after our check; a NUL
        // would cut the path short.
        if (c == '/' || c == '\0') return std::nullopt;
        path += c;
        i += 2;
    }
    return path;
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
