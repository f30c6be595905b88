// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/rtf_text.h"

#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include <array>
#include <map>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace drop {

namespace {

// Destinations whose contents are not part of the document's text.
// clang-format off
constexpr std::array kSkippedDestinations = {
    "colortbl", "stylesheet", "info", "pict", "objdata", "header", "headerl", "headerr", "headerf",
    "footer", "footerl", "footerr", "footerf", "footnote", "fldinst", "listtable", "listoverridetable",
    "revtbl", "rsidtbl", "xmlnstbl", "themedata", "colorschememapping", "datastore", "latentstyles",
    "generator", "filetbl", "pgdsctbl", "nonshppict", "private", "bkmkstart", "bkmkend", "expandedcolortbl",
};
// clang-format on

// Windows code pages of the font character sets (\fcharsetN); anything else reads as Western (1252).
int codePageForCharset(int charset) {
    static constexpr std::pair<int, int> kCharsets[] = {
        {77, 10000}, {128, 932},  {129, 949},  {130, 1361}, {134, 936},  {136, 950},
        {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257},
        {204, 1251}, {222, 874},  {238, 1250}, {254, 437},  {255, 850},
    };
    for (const auto& [set, codePage] : kCharsets)
        if (set == charset) return codePage;
    return 1252;
}

// Control words and symbols that stand for text.
constexpr std::pair<std::string_view, std::string_view> kWordText[] = {
    {"par", "\n"},           {"line", "\n"},       {"sect", "\n"},       {"page", "\n"},       {"row", "\n"},
    {"tab", "\t"},           {"cell", "\t"},       {"lquote", "\u2018"}, {"rquote", "\u2019"}, {"ldblquote", "\u201C"},
    {"rdblquote", "\u201D"}, {"bullet", "\u2022"}, {"endash", "\u2013"}, {"emdash", "\u2014"}, {"enspace", " "},
    {"emspace", " "},        {"qmspace", " "},
};
constexpr std::pair<char, std::string_view> kSymbolText[] = {
    {'\\', "\\"}, {'{', "{"}, {'}', "}"}, {'~', "\u00A0"}, {'_', "\u2011"},
};

void appendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes 8-bit text with Windows code pages, keeping one ICU converter per code page.
class CodePages {
public:
    void decode(int codePage, std::string_view bytes, std::string& out) {
        UConverter* conv = converter(codePage);
        if (!conv) conv = converter(1252);
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeString text(bytes.data(), static_cast<int32_t>(bytes.size()), conv, status);
        if (U_FAILURE(status)) {
            for (unsigned char c : bytes) appendUtf8(out, c < 0x80 ? c : 0xFFFD);
            return;
        }
        text.toUTF8String(out);
    }

private:
    struct Close {
        void operator()(UConverter* c) const { ucnv_close(c); }
    };

    UConverter* converter(int codePage) {
        auto it = converters_.find(codePage);
        if (it != converters_.end()) return it->second.get();
        UConverter* conv = nullptr;
        const std::string n = std::to_string(codePage);
        const std::vector<std::string> names = codePage == 65001 ? std::vector<std::string>{"UTF-8"}
                                               : codePage == 10000
                                                   ? std::vector<std::string>{"macintosh"}
                                                   : std::vector<std::string>{"windows-" + n, "cp" + n, "ibm-" + n};
        for (const std::string& name : names) {
            UErrorCode status = U_ZERO_ERROR;
            conv = ucnv_open(name.c_str(), &status);
            if (U_SUCCESS(status) && conv) break;
            conv = nullptr;
        }
        return converters_.emplace(codePage, std::unique_ptr<UConverter, Close>(conv)).first->second.get();
    }

    std::map<int, std::unique_ptr<UConverter, Close>> converters_;
};

class Extractor {
public:
    explicit Extractor(std::string_view in) : in_(in) {}

    std::string run() {
        groups_.push_back(Group{});
        while (pos_ < in_.size()) {
            const char c = in_[pos_++];
            if (c == '{') {
                flush();
                groups_.push_back(groups_.back());
                skipFallback_ = 0;
            } else if (c == '}') {
                flush();
                if (groups_.size() > 1) groups_.pop_back();
                skipFallback_ = 0;
            } else if (c == '\\') {
                controlSequence();
            } else if (c == '\r' || c == '\n') {
                // Line breaks in the source are not text.
            } else {
                textByte(c);
            }
        }
        flush();
        flushSurrogate();
        return std::move(out_);
    }

private:
    enum class Dest { Text, FontTable, Skipped };
    struct Group {
        Dest dest = Dest::Text;
        int uc = 1;     // fallback characters after each \uN
        int font = -1;  // current font, for its code page
    };

    bool inText() const { return groups_.back().dest == Dest::Text; }

    // A fallback character of the last \uN is consumed instead of shown.
    bool consumeFallback() {
        if (skipFallback_ <= 0) return false;
        --skipFallback_;
        return true;
    }

    void textByte(char c) {
        if (consumeFallback() || !inText()) return;
        int cp = codePage();
        if (!pending_.empty() && cp != pendingCodePage_) flush();
        flushSurrogate();
        pendingCodePage_ = cp;
        pending_ += c;
    }

    void emit(std::string_view utf8) {
        if (!inText()) return;
        flush();
        flushSurrogate();
        out_ += utf8;
    }

    void emitCodePoint(long value) {
        if (!inText()) return;
        flush();
        char32_t u = static_cast<char32_t>(value < 0 ? value + 65536 : value) & 0xFFFF;
        if (u >= 0xD800 && u <= 0xDBFF) {
            flushSurrogate();
            highSurrogate_ = u;
            return;
        }
        if (u >= 0xDC00 && u <= 0xDFFF && highSurrogate_) {
            appendUtf8(out_, 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (u - 0xDC00));
            highSurrogate_ = 0;
            return;
        }
        flushSurrogate();
        appendUtf8(out_, u);
    }

    // A high surrogate with no low one after it is shown as the replacement character.
    void flushSurrogate() {
        if (highSurrogate_) appendUtf8(out_, 0xFFFD);
        highSurrogate_ = 0;
    }

    void flush() {
        if (pending_.empty()) return;
        codePages_.decode(pendingCodePage_, pending_, out_);
        pending_.clear();
    }

    int codePage() const {
        auto it = fontCodePages_.find(groups_.back().font);
        return it != fontCodePages_.end() ? it->second : documentCodePage_;
    }

    void controlSequence() {
        if (pos_ >= in_.size()) return;
        const char c = in_[pos_];
        if (!isAsciiLetter(c)) {
            ++pos_;
            controlSymbol(c);
            return;
        }
        const size_t start = pos_;
        while (pos_ < in_.size() && isAsciiLetter(in_[pos_]) && pos_ - start < 32) ++pos_;
        const std::string_view word = in_.substr(start, pos_ - start);
        bool hasParam = false;
        long param = 0;
        bool negative = false;
        if (pos_ < in_.size() && in_[pos_] == '-') {
            negative = true;
            ++pos_;
        }
        while (pos_ < in_.size() && in_[pos_] >= '0' && in_[pos_] <= '9') {
            hasParam = true;
            if (param < 100000000) param = param * 10 + (in_[pos_] - '0');
            ++pos_;
        }
        if (negative) param = -param;
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;  // the delimiting space belongs to the word
        controlWord(word, hasParam, param);
    }

    static bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

    static int hexValue(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    void controlSymbol(char c) {
        switch (c) {
            case '\'': {
                int hi = pos_ < in_.size() ? hexValue(in_[pos_]) : -1;
                int lo = pos_ + 1 < in_.size() ? hexValue(in_[pos_ + 1]) : -1;
                if (hi < 0 || lo < 0) {
                    pos_ += hi < 0 ? 0 : 1;  // a cut escape is dropped, not shown as text
                    return;
                }
                pos_ += 2;
                textByte(static_cast<char>(hi * 16 + lo));
                return;
            }
            case '*':
                groups_.back().dest = Dest::Skipped;
                return;
            case '\r':
            case '\n':
                if (!consumeFallback()) emit("\n");
                return;
            default:
                break;
        }
        if (consumeFallback()) return;
        // \- optional hyphen, \: index entry and \| formula show nothing.
        for (const auto& [symbol, text] : kSymbolText)
            if (c == symbol) return emit(text);
    }

    void controlWord(std::string_view w, bool hasParam, long param) {
        Group& g = groups_.back();
        if (w == "bin") {
            // Raw binary data follows; it is never text.
            pos_ = param > 0 && static_cast<size_t>(param) < in_.size() - pos_ ? pos_ + param : in_.size();
            consumeFallback();
            return;
        }
        if (w == "u" && hasParam) {
            if (consumeFallback()) return;
            emitCodePoint(param);
            skipFallback_ = g.uc;
            return;
        }
        if (w == "uc" && hasParam) {
            g.uc = param < 0 ? 0 : static_cast<int>(param > 16 ? 16 : param);
            return;
        }
        if (w == "ansicpg" && hasParam) {
            documentCodePage_ = static_cast<int>(param);
            return;
        }
        if (w == "mac") {
            documentCodePage_ = 10000;
            return;
        }
        if (w == "fonttbl") {
            flush();
            g.dest = Dest::FontTable;
            return;
        }
        if (g.dest == Dest::FontTable) {
            if (w == "f" && hasParam)
                g.font = static_cast<int>(param);
            else if (w == "fcharset" && hasParam && param != 1)
                fontCodePages_[g.font] = codePageForCharset(static_cast<int>(param));
            else if (w == "cpg" && hasParam)
                fontCodePages_[g.font] = static_cast<int>(param);
            return;
        }
        for (const char* skipped : kSkippedDestinations)
            if (w == skipped) {
                flush();
                g.dest = Dest::Skipped;
                return;
            }
        if (w == "f" && hasParam) {
            flush();
            g.font = static_cast<int>(param);
            return;
        }
        if (w == "deff" && hasParam) {
            g.font = static_cast<int>(param);
            return;
        }
        if (consumeFallback()) return;
        for (const auto& [word, text] : kWordText)
            if (w == word) return emit(text);
    }

    std::string_view in_;
    size_t pos_ = 0;
    std::vector<Group> groups_;
    std::map<int, int> fontCodePages_;
    int documentCodePage_ = 1252;
    int skipFallback_ = 0;
    char32_t highSurrogate_ = 0;
    std::string pending_;
    int pendingCodePage_ = 1252;
    CodePages codePages_;
    std::string out_;
};

}  // namespace

std::optional<std::string> rtfToText(std::string_view rtf) {
    size_t start = rtf.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos || rtf.substr(start, 5) != "{\\rtf") return std::nullopt;
    return Extractor(rtf.substr(start)).run();
}

}  // namespace drop
