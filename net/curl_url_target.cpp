#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "net/url_target.h"

namespace net {
namespace {

struct CurluFree {
    void operator()(CURLU* u) const noexcept { curl_url_cleanup(u); }
};

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::optional<std::string> part(CURLU* url, CURLUPart which, unsigned flags = 0) {
    char* out = nullptr;
    if (curl_url_get(url, which, &out, flags) != CURLUE_OK || !out) return std::nullopt;
    std::string s(out);
    curl_free(out);
    return s;
}

// The host as the URL text spells it. The parser normalises numeric forms (127.1 becomes
// 127.0.0.1), so a rule about names compares both.
std::string writtenHost(const std::string& url) {
    auto start = url.find("://");
    if (start == std::string::npos) return {};
    start += 3;
    auto end = url.find_first_of("/?#\\", start);
    std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (auto at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    if (!authority.empty() && authority[0] == '[') {
        auto close = authority.find(']');
        return close == std::string::npos ? std::string{} : lower(authority.substr(0, close + 1));
    }
    return lower(authority.substr(0, authority.find(':')));
}

}  // namespace

std::optional<Target> parseTarget(const std::string& url) {
    std::unique_ptr<CURLU, CurluFree> handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return std::nullopt;
    auto scheme = part(handle.get(), CURLUPART_SCHEME);
    if (!scheme) return std::nullopt;
    Target t;
    t.scheme = lower(*scheme);
    t.host = lower(part(handle.get(), CURLUPART_HOST).value_or(""));
    t.writtenHost = writtenHost(url);
    auto port = part(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    t.port = port ? std::strtol(port->c_str(), nullptr, 10) : 0;
    return t;
}

std::string writtenHostOfLocation(const std::string& location, const std::string& current) {
    auto colon = location.find(':');
    auto slash = location.find('/');
    bool hasScheme = colon != std::string::npos && colon > 0 && (slash == std::string::npos || colon < slash) &&
                     std::isalpha(static_cast<unsigned char>(location[0]));
    if (hasScheme) return writtenHost(location);
    if (location.rfind("//", 0) == 0) return writtenHost("x:" + location);
    return current;
}

}  // namespace net
