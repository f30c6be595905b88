// SPDX-License-Identifier: GPL-3.0-or-later
#include "webpolicy/read_access.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/json.h"

namespace webpolicy {
namespace {

bool isAsciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// A regular expression matching the URL prefix literally. Escaped hex digits match in either case,
// since a URL may spell "%C3" as "%c3"; everything else is case-sensitive like the file system.
std::string literalPrefix(const std::string& url) {
    std::string re = "^";
    for (std::size_t i = 0; i < url.size(); ++i) {
        char c = url[i];
        if (c == '%' && i + 2 < url.size()) {
            re += '%';
            for (char h : {url[i + 1], url[i + 2]}) {
                char lo = (h >= 'A' && h <= 'F') ? static_cast<char>(h - 'A' + 'a') : h;
                char up = (h >= 'a' && h <= 'f') ? static_cast<char>(h - 'a' + 'A') : h;
                re += lo == up ? std::string(1, h) : std::string{'[', up, lo, ']'};
            }
            i += 2;
        } else if (isAsciiAlnum(c) || c == '/' || c == ':' || c == '-' || c == '_' || c == '~' || c == '%') {
            re += c;
        } else {
            re += '\\';
            re += c;
        }
    }
    return re;
}

// Where a link leads, following links in turn; a dangling one leads where it names, since that
// place may be made later. A loop leads nowhere good: the root.
std::filesystem::path resolve(std::filesystem::path p) {
    namespace fs = std::filesystem;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) return fs::weakly_canonical(p, ec);
        fs::path to = fs::read_symlink(p, ec);
        if (ec) return "/";
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return "/";
}

json::Value rule(json::Object trigger, const char* action) {
    return json::Object{{"trigger", std::move(trigger)}, {"action", json::Object{{"type", action}}}};
}

}  // namespace

std::string readAccessRules(const std::vector<std::string>& folderUrls) {
    json::Array rules;
    rules.push_back(rule({{"url-filter", "^file:"}}, "block"));
    // The main frame's own document: the navigation guard has already decided it.
    rules.push_back(rule({{"url-filter", "^file:"},
                          {"resource-type", json::Array{"document"}},
                          {"load-context", json::Array{"top-frame"}}},
                         "ignore-previous-rules"));
    for (const auto& url : folderUrls)
        rules.push_back(rule({{"url-filter", literalPrefix(url)}, {"url-filter-is-case-sensitive", true}},
                             "ignore-previous-rules"));
    rules.push_back(rule({{"url-filter", "^file:.*%2[fF]"}}, "block"));
    return json::write(json::Value(std::move(rules))).value_or("[]");
}

std::vector<LeavingLink> linksLeaving(const std::string& htmlFolder) {
    namespace fs = std::filesystem;
    std::vector<LeavingLink> found;
    std::error_code ec;
    fs::path root = fs::canonical(htmlFolder, ec);
    if (ec) return found;
    auto inside = [&root](const fs::path& p) {
        auto [r, q] = std::mismatch(root.begin(), root.end(), p.begin(), p.end());
        return r == root.end();
    };
    // Folder links are not followed: a link inside that leads inside was walked where it leads.
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (!it->is_symlink(ec)) continue;
        fs::path target = resolve(it->path());
        if (!inside(target)) found.push_back({it->path().lexically_relative(root).string(), target.string()});
        ec.clear();
    }
    return found;
}

}  // namespace webpolicy
