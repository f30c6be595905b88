// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/json.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "common/base64.h"

namespace json {

struct EncodedString::State {
    std::string prefix;
    common::Bytes bytes;
    std::once_flag once;
    std::string text;
};

EncodedString::EncodedString(std::string prefix, common::Bytes bytes)
    : state_(std::make_shared<State>(std::move(prefix), std::move(bytes))) {}

const std::string& EncodedString::prefix() const { return state_->prefix; }

const common::Bytes& EncodedString::bytes() const { return state_->bytes; }

std::shared_ptr<const common::Bytes> EncodedString::sharedBytes() const {
    return std::shared_ptr<const common::Bytes>(state_, &state_->bytes);
}

const std::string& EncodedString::text() const {
    std::call_once(state_->once, [s = state_.get()] {
        s->text.reserve(s->prefix.size() + common::base64::encodedSize(s->bytes.size()));
        s->text = s->prefix;
        common::base64::encodeAppend(s->bytes.data(), s->bytes.size(), s->text);
    });
    return state_->text;
}

const std::string* Value::string() const {
    if (auto* e = encoded()) return &e->text();
    return std::get_if<std::string>(&v);
}

std::string* Value::string() {
    if (auto* e = encoded()) v = std::string(e->text());
    return std::get_if<std::string>(&v);
}

bool operator==(const Value& a, const Value& b) {
    if (a.isString() || b.isString()) return a.isString() && b.isString() && *a.string() == *b.string();
    if (a.v.index() != b.v.index()) return false;
    if (auto* x = a.boolean()) return *x == *b.boolean();
    if (auto* x = a.number()) return *x == *b.number();
    if (auto* x = a.array()) return *x == *b.array();
    if (auto* x = a.object()) return *x == *b.object();
    return true;  // both null
}

const Value* Value::find(std::string_view key) const {
    if (auto* o = object())
        for (auto& [k, val] : *o)
            if (k == key) return &val;
    return nullptr;
}

const std::string* Value::stringAt(std::string_view key) const {
    auto* m = find(key);
    return m ? m->string() : nullptr;
}

bool validUtf8(std::string_view s) {
    auto p = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t n = s.size(), i = 0;
    while (i < n) {
        unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            // Runs of ASCII (base64 pictures and uploads are nothing else) are checked eight bytes at a time.
            for (std::uint64_t w; i + 8 <= n; i += 8) {
                std::memcpy(&w, p + i, 8);
                if (w & 0x8080808080808080ull) break;
            }
            continue;
        }
        std::size_t len;
        std::uint32_t cp;
        if ((c & 0xE0) == 0xC0)
            len = 2, cp = c & 0x1F;
        else if ((c & 0xF0) == 0xE0)
            len = 3, cp = c & 0x0F;
        else if ((c & 0xF8) == 0xF0)
            len = 4, cp = c & 0x07;
        else
            return false;
        if (i + len > n) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

namespace {

bool writeString(const std::string& s, std::string& out) {
    if (!validUtf8(s)) return false;
    out.push_back('"');
    std::size_t run = 0;  // copy plain stretches in one append: big data URLs pass through here
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        const char* esc = nullptr;
        char buf[8];
        switch (c) {
            case '"':
                esc = "\\\"";
                break;
            case '\\':
                esc = "\\\\";
                break;
            case '/':
                esc = "\\/";
                break;
            case '\n':
                esc = "\\n";
                break;
            case '\r':
                esc = "\\r";
                break;
            case '\t':
                esc = "\\t";
                break;
            case '\b':
                esc = "\\b";
                break;
            case '\f':
                esc = "\\f";
                break;
            default:
                if (c < 0x20) {
                    static const char hex[] = "0123456789abcdef";
                    buf[0] = '\\', buf[1] = 'u', buf[2] = '0', buf[3] = '0';
                    buf[4] = hex[c >> 4], buf[5] = hex[c & 15], buf[6] = 0;
                    esc = buf;
                }
        }
        if (esc) {
            out.append(s, run, i - run);
            out.append(esc);
            run = i + 1;
        }
    }
    out.append(s, run, std::string::npos);
    out.push_back('"');
    return true;
}

bool writeValue(const Value& v, std::string& out) {
    struct Visitor {
        std::string& out;
        bool operator()(std::nullptr_t) {
            out += "null";
            return true;
        }
        bool operator()(bool b) {
            out += b ? "true" : "false";
            return true;
        }
        bool operator()(double d) {
            if (!std::isfinite(d)) return false;
            char buf[32];
            double ip;
            std::to_chars_result r;
            if (std::modf(d, &ip) == 0.0 && std::fabs(d) < 1e15)
                r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(d));
            else
                r = std::to_chars(buf, buf + sizeof buf, d);
            out.append(buf, r.ptr);
            return true;
        }
        bool operator()(const std::string& s) { return writeString(s, out); }
        bool operator()(const EncodedString& e) { return writeString(e.text(), out); }
        bool operator()(const Array& a) {
            out.push_back('[');
            for (std::size_t i = 0; i < a.size(); ++i) {
                if (i) out.push_back(',');
                if (!writeValue(a[i], out)) return false;
            }
            out.push_back(']');
            return true;
        }
        bool operator()(const Object& o) {
            out.push_back('{');
            for (std::size_t i = 0; i < o.size(); ++i) {
                if (i) out.push_back(',');
                if (!writeString(o[i].first, out)) return false;
                out.push_back(':');
                if (!writeValue(o[i].second, out)) return false;
            }
            out.push_back('}');
            return true;
        }
    };
    return std::visit(Visitor{out}, v.v);
}

}  // namespace

std::optional<std::string> write(const Value& value) {
    std::string out;
    if (!writeValue(value, out)) return std::nullopt;
    return out;
}

}  // namespace json
