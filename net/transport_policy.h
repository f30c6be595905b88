// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the request proxy may send a page's request: https anywhere, http only to this machine.
#include <string>

#include "net/http_client.h"

namespace net {

// Sent untranslated, whatever the interface language.
inline constexpr const char* kRefusalText = "只允许 https 请求（本地 Ollama 可用 http://127.0.0.1）";

// The host is one of the three local names, written exactly so (not a numeric variant the parser
// normalised into one of them).
bool isLocalHost(const Target& target);
// Checked on every hop before anything is sent to it.
Verdict transportPolicy(const Target& target);
// Checked once a hop is connected: plain http must have reached a loopback address.
Verdict connectionPolicy(const Target& target, const std::string& connectedIp);

}  // namespace net
