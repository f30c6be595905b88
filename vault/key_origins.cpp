// SPDX-License-Identifier: GPL-3.0-or-later
#include "vault/key_origins.h"

#include <algorithm>

#include "common/url.h"

namespace vault {

std::optional<std::string> originOf(std::string_view url) {
    auto parts = common::url::split(url);
    if (!parts || (parts->scheme != "http" && parts->scheme != "https")) return std::nullopt;
    auto end = common::url::endpoint(*parts);
    if (!end) return std::nullopt;
    long defaultPort = parts->scheme == "https" ? 443 : 80;
    std::string origin = parts->scheme + "://" + end->host;
    if (end->port != defaultPort) origin += ":" + std::to_string(end->port);
    return origin;
}

std::string shownHost(const std::string& origin) {
    auto at = origin.find("://");
    return at == std::string::npos ? origin : origin.substr(at + 3);
}

std::optional<std::vector<std::string>> originsField(const json::Value* field) {
    if (!field || !field->array()) return std::nullopt;
    std::vector<std::string> out;
    for (const auto& entry : *field->array()) {
        const std::string* text = entry.string();
        auto origin = text ? originOf(*text) : std::nullopt;
        if (!origin) return std::nullopt;
        if (std::find(out.begin(), out.end(), *origin) == out.end()) out.push_back(std::move(*origin));
    }
    return out;
}

std::string joinOrigins(const std::vector<std::string>& origins) {
    std::string out;
    for (const auto& origin : origins) {
        if (!out.empty()) out += '\n';
        out += origin;
    }
    return out;
}

std::vector<std::string> splitOrigins(const std::string& stored) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < stored.size()) {
        auto end = stored.find('\n', start);
        if (end == std::string::npos) end = stored.size();
        if (end > start) out.push_back(stored.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

}  // namespace vault
