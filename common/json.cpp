#include "common/json.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace json {

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

class Parser {
public:
    Parser(std::string_view t, int maxDepth) : t_(t), maxDepth_(maxDepth) {}

    std::optional<Value> run() {
        Value v;
        if (!value(v, 0)) return std::nullopt;
        ws();
        if (i_ != t_.size()) return std::nullopt;
        return v;
    }

private:
    void ws() {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\n' || t_[i_] == '\r' || t_[i_] == '\t')) ++i_;
    }
    bool lit(std::string_view w) {
        if (t_.substr(i_, w.size()) != w) return false;
        i_ += w.size();
        return true;
    }
    bool value(Value& out, int depth) {
        if (depth > maxDepth_) return false;
        ws();
        if (i_ >= t_.size()) return false;
        char c = t_[i_];
        if (c == '{') return object(out, depth);
        if (c == '[') return array(out, depth);
        if (c == '"') {
            std::string s;
            if (!string(s)) return false;
            out = Value(std::move(s));
            return true;
        }
        if (c == 't') return lit("true") && (out = Value(true), true);
        if (c == 'f') return lit("false") && (out = Value(false), true);
        if (c == 'n') return lit("null") && (out = Value(nullptr), true);
        return number(out);
    }
    bool number(Value& out) {
        std::size_t start = i_;
        if (i_ < t_.size() && t_[i_] == '-') ++i_;
        if (i_ >= t_.size() || !std::isdigit(static_cast<unsigned char>(t_[i_]))) return false;
        if (t_[i_] == '0')
            ++i_;
        else
            while (i_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[i_]))) ++i_;
        if (i_ < t_.size() && t_[i_] == '.') {
            ++i_;
            if (i_ >= t_.size() || !std::isdigit(static_cast<unsigned char>(t_[i_]))) return false;
            while (i_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[i_]))) ++i_;
        }
        if (i_ < t_.size() && (t_[i_] == 'e' || t_[i_] == 'E')) {
            ++i_;
            if (i_ < t_.size() && (t_[i_] == '+' || t_[i_] == '-')) ++i_;
            if (i_ >= t_.size() || !std::isdigit(static_cast<unsigned char>(t_[i_]))) return false;
            while (i_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[i_]))) ++i_;
        }
        double d = 0;
        auto r = std::from_chars(t_.data() + start, t_.data() + i_, d);
        if (r.ec != std::errc() && r.ec != std::errc::result_out_of_range) return false;
        out = Value(d);
        return true;
    }
    static void utf8(std::uint32_t cp, std::string& s) {
        if (cp < 0x80)
            s.push_back(static_cast<char>(cp));
        else if (cp < 0x800) {
            s.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            s.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            s.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            s.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            s.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            s.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    bool hex4(std::uint32_t& cp) {
        if (i_ + 4 > t_.size()) return false;
        cp = 0;
        for (int k = 0; k < 4; ++k) {
            char c = t_[i_++];
            cp <<= 4;
            if (c >= '0' && c <= '9')
                cp |= c - '0';
            else if (c >= 'a' && c <= 'f')
                cp |= c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                cp |= c - 'A' + 10;
            else
                return false;
        }
        return true;
    }
    bool string(std::string& s) {
        ++i_;  // opening quote
        for (;;) {
            std::size_t run = i_;
            while (i_ < t_.size() && t_[i_] != '"' && t_[i_] != '\\' && static_cast<unsigned char>(t_[i_]) >= 0x20)
                ++i_;
            s.append(t_.substr(run, i_ - run));
            if (i_ >= t_.size()) return false;
            char c = t_[i_++];
            if (c == '"') return validUtf8(s);
            if (c != '\\') return false;  // raw control character
            if (i_ >= t_.size()) return false;
            char e = t_[i_++];
            switch (e) {
                case '"':
                    s.push_back('"');
                    break;
                case '\\':
                    s.push_back('\\');
                    break;
                case '/':
                    s.push_back('/');
                    break;
                case 'b':
                    s.push_back('\b');
                    break;
                case 'f':
                    s.push_back('\f');
                    break;
                case 'n':
                    s.push_back('\n');
                    break;
                case 'r':
                    s.push_back('\r');
                    break;
                case 't':
                    s.push_back('\t');
                    break;
                case 'u': {
                    std::uint32_t cp;
                    if (!hex4(cp)) return false;
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        std::uint32_t lo;
                        if (!lit("\\u") || !hex4(lo) || lo < 0xDC00 || lo > 0xDFFF) return false;
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        return false;
                    }
                    utf8(cp, s);
                    break;
                }
                default:
                    return false;
            }
        }
    }
    bool array(Value& out, int depth) {
        ++i_;
        Array a;
        ws();
        if (i_ < t_.size() && t_[i_] == ']') {
            ++i_;
            out = Value(std::move(a));
            return true;
        }
        for (;;) {
            Value v;
            if (!value(v, depth + 1)) return false;
            a.push_back(std::move(v));
            ws();
            if (i_ >= t_.size()) return false;
            if (t_[i_] == ',') {
                ++i_;
                continue;
            }
            if (t_[i_] == ']') {
                ++i_;
                break;
            }
            return false;
        }
        out = Value(std::move(a));
        return true;
    }
    bool object(Value& out, int depth) {
        ++i_;
        Object o;
        ws();
        if (i_ < t_.size() && t_[i_] == '}') {
            ++i_;
            out = Value(std::move(o));
            return true;
        }
        for (;;) {
            ws();
            if (i_ >= t_.size() || t_[i_] != '"') return false;
            std::string key;
            if (!string(key)) return false;
            ws();
            if (i_ >= t_.size() || t_[i_] != ':') return false;
            ++i_;
            Value v;
            if (!value(v, depth + 1)) return false;
            o.emplace_back(std::move(key), std::move(v));
            ws();
            if (i_ >= t_.size()) return false;
            if (t_[i_] == ',') {
                ++i_;
                continue;
            }
            if (t_[i_] == '}') {
                ++i_;
                break;
            }
            return false;
        }
        out = Value(std::move(o));
        return true;
    }

    std::string_view t_;
    std::size_t i_ = 0;
    int maxDepth_;
};

}  // namespace

std::optional<std::string> write(const Value& value) {
    std::string out;
    if (!writeValue(value, out)) return std::nullopt;
    return out;
}

std::optional<Value> parse(std::string_view text, int maxDepth) { return Parser(text, maxDepth).run(); }

}  // namespace json
