// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/url.h"

#include <arpa/inet.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "common/text.h"

namespace common::url {
namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool allowed(char c) {
    if (isAlpha(c) || isDigit(c)) return true;
    static constexpr std::string_view kMarks = "-._~:/?#[]@!$&'()*+,;=";  // unreserved, gen- and sub-delims
    return kMarks.find(c) != std::string_view::npos;
}

long defaultPort(std::string_view scheme) {
    if (scheme == "http") return 80;
    if (scheme == "https") return 443;
    return 0;
}

// libcurl's reading of a host of digits and dots, base by prefix as strtoul reads it (0x hex,
// leading 0 octal): one to four parts, the last filling the remaining bytes.
std::optional<std::string> numericIpv4(const std::string& host) {
    unsigned long parts[4] = {0, 0, 0, 0};
    int n = 0;
    const char* c = host.c_str();
    for (;;) {
        if (!isDigit(*c)) return std::nullopt;  // no sign, no empty part
        char* end = nullptr;
        errno = 0;
        unsigned long value = std::strtoul(c, &end, 0);
        if ((value == ULONG_MAX && errno == ERANGE) || value > UINT_MAX) return std::nullopt;
        parts[n] = value;
        c = end;
        if (*c == '\0') break;
        if (*c != '.' || n == 3) return std::nullopt;
        ++n;
        ++c;
    }
    unsigned long address = 0;
    switch (n) {
        case 0:
            address = parts[0];
            break;
        case 1:
            if (parts[0] > 0xff || parts[1] > 0xffffff) return std::nullopt;
            address = parts[0] << 24 | parts[1];
            break;
        case 2:
            if (parts[0] > 0xff || parts[1] > 0xff || parts[2] > 0xffff) return std::nullopt;
            address = parts[0] << 24 | parts[1] << 16 | parts[2];
            break;
        default:
            for (unsigned long p : parts)
                if (p > 0xff) return std::nullopt;
            address = parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3];
            break;
    }
    return std::to_string(address >> 24 & 0xff) + "." + std::to_string(address >> 16 & 0xff) + "." +
           std::to_string(address >> 8 & 0xff) + "." + std::to_string(address & 0xff);
}

std::optional<std::string> ipv6Literal(const std::string& bracketed) {
    std::string inner = bracketed.substr(1, bracketed.size() - 2);
    in6_addr address{};
    if (inner.find('%') != std::string::npos || inet_pton(AF_INET6, inner.c_str(), &address) != 1) return std::nullopt;
    char text[INET6_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET6, &address, text, sizeof text)) return std::nullopt;
    return "[" + std::string(text) + "]";
}

// Characters libcurl refuses in a host name once its escapes are decoded.
bool fitsHostName(const std::string& name) {
    static constexpr std::string_view kRefused = " \r\n\t/:#?!@{}[]\\$'\"^`*<>=;,+&()%";
    for (unsigned char c : name)
        if (c <= 0x20 || c >= 0x7f || kRefused.find(static_cast<char>(c)) != std::string_view::npos) return false;
    return true;
}

}  // namespace

std::optional<Url> split(std::string_view s) {
    Url url;
    std::size_t colon = s.find(':');
    std::size_t stop = s.find_first_of("/?#");
    if (colon != std::string_view::npos && (stop == std::string_view::npos || colon < stop)) {
        std::string_view scheme = s.substr(0, colon);
        if (scheme.empty() || !isAlpha(scheme[0])) return std::nullopt;
        for (char c : scheme)
            if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
        url.scheme = asciiLower(scheme);
        s.remove_prefix(colon + 1);
    }
    if (s.substr(0, 2) == "//") {
        s.remove_prefix(2);
        std::size_t end = s.find_first_of("/?#");
        url.hasAuthority = true;
        url.authority = std::string(s.substr(0, end));
        s.remove_prefix(end == std::string_view::npos ? s.size() : end);
        // libcurl splits at the first "@": more than one leaves an "@" in the host, which it refuses.
        std::string_view hostPort = url.authority;
        if (auto at = hostPort.find('@'); at != std::string_view::npos) hostPort.remove_prefix(at + 1);
        std::size_t portColon = hostPort.find(':', hostPort.substr(0, 1) == "[" ? hostPort.find(']') : 0);
        if (portColon != std::string_view::npos) url.port = std::string(hostPort.substr(portColon + 1));
        url.host = asciiLower(hostPort.substr(0, portColon));
    }
    url.path = std::string(s.substr(0, s.find_first_of("?#")));
    return url;
}

std::optional<Url> parse(std::string_view s) {
    if (s.empty()) return std::nullopt;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%') {
            if (i + 2 >= s.size() || hexValue(s[i + 1]) < 0 || hexValue(s[i + 2]) < 0) return std::nullopt;
            i += 2;
        } else if (!allowed(s[i])) {
            return std::nullopt;
        }
    }
    return split(s);
}

std::optional<Endpoint> endpoint(const Url& url) {
    if (!url.hasAuthority || url.host.empty()) return std::nullopt;
    Endpoint out;
    out.port = defaultPort(url.scheme);
    if (url.port && !url.port->empty()) {
        const std::string& digits = *url.port;
        for (char c : digits)
            if (!isDigit(c)) return std::nullopt;
        std::size_t first = digits.find_first_not_of('0');
        if (first != std::string::npos && digits.size() - first > 5) return std::nullopt;
        out.port = std::strtol(digits.c_str(), nullptr, 10);
        if (out.port > 65535) return std::nullopt;
    }
    // The host as written, case kept for the numeric forms' "0X".
    std::string_view hostPort = url.authority;
    if (auto at = hostPort.find('@'); at != std::string_view::npos) hostPort.remove_prefix(at + 1);
    std::string written(hostPort.substr(0, url.host.size()));
    if (written.front() == '[') {
        if (written.back() != ']') return std::nullopt;
        auto literal = ipv6Literal(written);
        if (!literal) return std::nullopt;
        out.host = *literal;
        return out;
    }
    if (auto numeric = numericIpv4(written)) {
        out.host = *numeric;
        return out;
    }
    auto name = percentDecode(written);
    if (!name || name->empty() || !fitsHostName(*name)) return std::nullopt;
    out.host = asciiLower(*name);
    return out;
}

std::optional<std::string> percentDecode(std::string_view text, std::string_view refused) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        int hi = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
        int lo = hi >= 0 ? hexValue(text[i + 2]) : -1;
        if (lo < 0) return std::nullopt;
        char c = static_cast<char>(hi * 16 + lo);
        if (refused.find(c) != std::string_view::npos) return std::nullopt;
        out += c;
        i += 2;
    }
    return out;
}

}  // namespace common::url
