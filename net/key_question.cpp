// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/key_question.h"

#include "vault/key_origins.h"

namespace net {
namespace {

constexpr std::size_t kShownKeyChars = 48;

// Decodes one code point of valid UTF-8 text (the bridge hands only valid text over); a stray byte
// counts as one code point of its own value.
char32_t next(const std::string& s, std::size_t& i) {
    auto b = static_cast<unsigned char>(s[i]);
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (i + extra >= s.size()) extra = 0;
    char32_t c = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : extra == 1 ? b & 0x1F : b;
    for (int k = 1; k <= extra; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += 1 + extra;
    return c;
}

bool misleading(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

std::string shownKey(const std::string& keyId) {
    std::string out;
    std::size_t count = 0;
    for (std::size_t i = 0; i < keyId.size();) {
        std::size_t start = i;
        char32_t c = next(keyId, i);
        if (++count > kShownKeyChars) return out + "\u2026";
        out += misleading(c) ? std::string("\uFFFD") : keyId.substr(start, i - start);
    }
    return out;
}

std::string fill(std::string text, const std::string& name, const std::string& value) {
    std::string mark = "{" + name + "}";
    for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size()))
        text.replace(at, mark.size(), value);
    return text;
}

}  // namespace

KeyQuestionText keyQuestionText(const KeyTranslate& t, const std::string& keyId, const std::string& origin,
                                const std::vector<std::string>& boundTo) {
    KeyQuestionText text;
    text.message =
        fill(fill(t("要把密钥“{key}”发送到 {host} 吗？"), "key", shownKey(keyId)), "host", vault::shownHost(origin));
    std::string hosts;
    for (const auto& bound : boundTo) hosts += (hosts.empty() ? "" : ", ") + vault::shownHost(bound);
    if (!hosts.empty()) text.detail = fill(t("这个密钥只用于 {hosts}。只有信任这个主机时才允许。"), "hosts", hosts);
    text.allowOnce = t("允许一次");
    text.alwaysAllow = t("始终允许");
    text.dontAllow = t("不允许");
    return text;
}

}  // namespace net
