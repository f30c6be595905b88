// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/html_text.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <array>
#include <cstring>
#include <memory>

#include "common/json.h"

namespace drop {

namespace {

bool nameIs(const xmlNode* n, const char* name) {
    return n->name && xmlStrcasecmp(n->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

template <size_t N>
bool nameIn(const xmlNode* n, const std::array<const char*, N>& names) {
    for (const char* name : names)
        if (nameIs(n, name)) return true;
    return false;
}

constexpr std::array kHidden = {"script", "style", "head", "template", "noscript", "title", "iframe", "object"};
constexpr std::array kBlocks = {"address", "article",    "aside",  "blockquote", "dd",    "details", "div",  "dl",
                                "dt",      "figcaption", "figure", "footer",     "form",  "h1",      "h2",   "h3",
                                "h4",      "h5",         "h6",     "header",     "hr",    "li",      "main", "nav",
                                "ol",      "p",          "pre",    "section",    "table", "tr",      "ul",   "caption",
                                "summary", "tbody",      "thead",  "tfoot"};

class Renderer {
public:
    std::string run(xmlDoc* doc) {
        // Iterative walk: a deeply nested page must not exhaust the stack.
        xmlNode* top = reinterpret_cast<xmlNode*>(doc);
        xmlNode* n = top->children;
        while (n) {
            if (enter(n) && n->children) {
                n = n->children;
                continue;
            }
            for (;;) {
                if (n->type == XML_ELEMENT_NODE) leave(n);
                if (n->next) {
                    n = n->next;
                    break;
                }
                n = n->parent;
                if (!n || n == top) return finish();
            }
        }
        return finish();
    }

private:
    // Returns whether the node's children are rendered.
    bool enter(xmlNode* n) {
        if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) {
            text(reinterpret_cast<const char*>(n->content));
            return false;
        }
        if (n->type != XML_ELEMENT_NODE) return false;
        if (nameIn(n, kHidden)) return false;
        if (nameIs(n, "br")) {
            out_ += '\n';
            space_ = false;
            return false;
        }
        if (nameIs(n, "td") || nameIs(n, "th")) {
            if (!out_.empty() && out_.back() != '\n') out_ += '\t';
            space_ = false;
        } else if (nameIn(n, kBlocks)) {
            lineBreak();
        }
        if (nameIs(n, "pre")) ++pre_;
        return true;
    }

    void leave(xmlNode* n) {
        if (nameIs(n, "pre") && pre_ > 0) --pre_;
        if (nameIn(n, kBlocks) && !nameIs(n, "td") && !nameIs(n, "th")) lineBreak();
    }

    void lineBreak() {
        if (!out_.empty() && out_.back() != '\n') out_ += '\n';
        space_ = false;
    }

    void text(const char* s) {
        if (!s) return;
        if (pre_ > 0) {
            out_ += s;
            return;
        }
        for (const char* p = s; *p; ++p) {
            const char c = *p;
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
                space_ = true;
                continue;
            }
            if (space_ && !out_.empty() && out_.back() != '\n' && out_.back() != '\t') out_ += ' ';
            space_ = false;
            out_ += c;
        }
    }

    std::string finish() {
        while (!out_.empty() && out_.back() == '\n') out_.pop_back();
        return std::move(out_);
    }

    std::string out_;
    bool space_ = false;
    int pre_ = 0;
};

// libxml2 passes some malformed input through as it came; the page only takes valid UTF-8, so
// each bad byte becomes the replacement character.
std::string repairUtf8(std::string s) {
    if (json::validUtf8(s)) return s;
    std::string out;
    std::string_view in = s;
    for (size_t i = 0; i < in.size();) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        const size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (len && i + len <= in.size() && json::validUtf8(in.substr(i, len))) {
            out += in.substr(i, len);
            i += len;
        } else {
            out += "\uFFFD";
            ++i;
        }
    }
    return out;
}

struct FreeDoc {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};

}  // namespace

std::optional<std::string> htmlToText(std::string_view html) {
    if (html.size() > static_cast<size_t>(INT32_MAX)) return std::nullopt;
    // Bytes without a byte-order mark that are valid UTF-8 are read as UTF-8 whatever a <meta>
    // claims; anything else is left to the parser's own detection.
    const bool bom = html.size() >= 2 &&
                     ((static_cast<unsigned char>(html[0]) == 0xFF && static_cast<unsigned char>(html[1]) == 0xFE) ||
                      (static_cast<unsigned char>(html[0]) == 0xFE && static_cast<unsigned char>(html[1]) == 0xFF));
    const char* encoding = !bom && json::validUtf8(html) ? "UTF-8" : nullptr;
    std::unique_ptr<xmlDoc, FreeDoc> doc(
        htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, encoding,
                       HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_RECOVER));
    if (!doc) return std::nullopt;
    return repairUtf8(Renderer().run(doc.get()));
}

}  // namespace drop
