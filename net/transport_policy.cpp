// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/transport_policy.h"

namespace net {

bool isLocalHost(const Target& t) {
    bool local = t.host == "127.0.0.1" || t.host == "localhost" || t.host == "[::1]";
    return local && t.writtenHost == t.host;
}

Verdict transportPolicy(const Target& t) {
    if (t.scheme == "https") return Verdict::Allow;
    if (t.scheme == "http" && isLocalHost(t)) return Verdict::Allow;
    return Verdict::Refuse;
}

Verdict connectionPolicy(const Target& t, const std::string& ip) {
    if (t.scheme == "https") return Verdict::Allow;
    return ip == "127.0.0.1" || ip == "::1" ? Verdict::Allow : Verdict::Refuse;
}

}  // namespace net
