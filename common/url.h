// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one URL reader of the shell: the bridge's check of a page's URL, the request proxy's transport
// policy and the navigation guard all take a URL apart here, so none of them can read a URL as
// naming one host while another part of the shell connects to a different one.
#include <optional>
#include <string>
#include <string_view>

namespace common::url {

// A URL reference split as RFC 3986 does, nothing decoded.
struct Url {
    std::string scheme;  // lower-cased; empty for a reference without one
    bool hasAuthority = false;
    std::string authority;            // as written
    std::string host;                 // as written, ASCII lower-cased; an IPv6 literal keeps its brackets
    std::optional<std::string> port;  // the text after the host's ":", when there is one
    std::string path;                 // as written, up to "?" or "#"
};

// The parts of any text, whatever characters it holds; nothing only when it starts with a scheme
// that is not well-formed.
std::optional<Url> split(std::string_view text);

// What a strict URL-from-string initialiser accepts: only characters allowed in a URL reference
// (RFC 3986), well-formed percent escapes, and a well-formed scheme when one is present.
std::optional<Url> parse(std::string_view text);

// Where a client connects for a URL, read as libcurl reads it: percent escapes in a name decoded,
// numeric IPv4 forms (127.1, 0x7f.0.0.1, 2130706433) written out as a.b.c.d, an IPv6 literal in its
// shortest form, names lower-cased; the explicit port or the scheme's default. Nothing when the
// authority is one a client would refuse or could read two ways: no host, several "@", a character
// that has no place in a host name, a zone index, a port that is not 0 to 65535, a host name that
// is not ASCII after decoding.
struct Endpoint {
    std::string host;
    long port = 0;
};
std::optional<Endpoint> endpoint(const Url& url);

// The bytes a percent-encoded text stands for; nothing for a malformed escape or for an escape
// that stands for one of `refused`.
std::optional<std::string> percentDecode(std::string_view text, std::string_view refused = {});

}  // namespace common::url
