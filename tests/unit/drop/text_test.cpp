// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "common/json.h"
#include "drop/drag_types.h"
#include "drop/html_text.h"
#include "drop/rtf_text.h"

using drop::htmlToText;
using drop::rtfToText;

TEST(RtfText, ReadsARealDocument) {
    // As a word processor writes it: font, colour and style tables, document info, a Chinese
    // font with GBK bytes, Unicode escapes with their fallbacks, a field and a bookmark.
    const char* rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n"
        "{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}{\\f1\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\n"
        "{\\colortbl;\\red255\\green0\\blue0;}\n"
        "{\\stylesheet{\\s0 Normal;}}\n"
        "{\\info{\\title Secret title}{\\author Someone}}\n"
        "{\\*\\generator Writer 1.0;}\n"
        "\\pard\\plain\\f0 Caf\\'e9 \\ldblquote quoted\\rdblquote\\par\n"
        "{\\f1 \\'d6\\'d0\\'ce\\'c4}\\line\n"
        "\\u20013?\\u25991? and {\\uc2\\u8364 EU} done\\par\n"
        "{\\*\\bkmkstart mark}emoji \\u-10179?\\u-8704?\\tab tab\\par\n"
        "{\\field{\\*\\fldinst HYPERLINK \"https://example.invalid\"}{\\fldrslt link text}}\\par\n"
        "Braces \\{ and \\} and \\\\ backslash\n"
        "}";
    EXPECT_EQ(rtfToText(rtf),
              "Caf\u00e9 \u201cquoted\u201d\n"
              "\u4e2d\u6587\n"
              "\u4e2d\u6587 and \u20ac done\n"
              "emoji \U0001F600\ttab\n"
              "link text\n"
              "Braces { and } and \\ backslash");
}

TEST(RtfText, ToleratesBrokenInput) {
    struct Case {
        const char* rtf;
        std::optional<std::string> text;
    };
    for (const Case& c : {
             Case{"plain words", std::nullopt},                          // not RTF at all
             Case{"  {\\rtf1 ok", std::string("ok")},                    // unterminated group
             Case{"{\\rtf1 a}}}}b", std::string("ab")},                  // extra closing braces
             Case{"{\\rtf1 x\\'4", std::string("x")},                    // cut inside a hex escape
             Case{"{\\rtf1 \\u-10179 lone}", std::string("\uFFFDone")},  // unpaired surrogate; "l" is its fallback
             Case{"{\\rtf1 \\bin5 {}{}xy}", std::string("y")},           // binary data may hold braces
         }) {
        EXPECT_EQ(rtfToText(c.rtf), c.text) << c.rtf;
    }
    for (const char* garbage :
         {"{\\rtf1 \\u99999999999999999999 \\ucx \\'zz", "{\\rtf1 \\bin99999999", "{\\rtf1 \\*", "{\\rtf1 \\"})
        EXPECT_TRUE(rtfToText(garbage).has_value()) << garbage;
}

TEST(HtmlText, RendersTextNotMarkup) {
    const char* html =
        "<!DOCTYPE html><html><head><title>Not shown</title>"
        "<style>p { color: red }</style><script>var x = '<p>no</p>';</script></head>\n"
        "<body>\n  <h1>Shopping   list</h1>\n"
        "  <ul><li>Milk &amp; honey</li><li>Bread</li></ul>\n"
        "  <table><tr><th>Item</th><th>Price</th></tr><tr><td>Tea</td><td>&euro;3</td></tr></table>\n"
        "  <p>One<br>two <span>words</span></p><script>document.write('x')</script>\n"
        "  <pre>  keep\n   spaces</pre>\u4e2d\u6587\n"
        "</body></html>";
    EXPECT_EQ(htmlToText(html),
              "Shopping list\nMilk & honey\nBread\nItem\tPrice\nTea\t\u20ac3\nOne\ntwo words\n  keep\n   "
              "spaces\n\u4e2d\u6587");
}

TEST(HtmlText, FragmentsAndOddInput) {
    EXPECT_EQ(htmlToText("just text"), "just text");
    EXPECT_EQ(htmlToText("<b>bold</i> <p>unclosed"), "bold\nunclosed");
    EXPECT_EQ(htmlToText("<script>only()</script>").value_or(""), "");
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<div>";
    deep += "deep";
    EXPECT_TRUE(htmlToText(deep).has_value());
    // Bytes that are no text in any encoding still come out as valid UTF-8 (found by fuzzing).
    auto broken = htmlToText("<!DOCTYPE span>&" + std::string(27, '\xFF') + "#x4l><p>caf\xE9</p>");
    ASSERT_TRUE(broken);
    EXPECT_TRUE(json::validUtf8(*broken)) << *broken;
}

TEST(DragTypes, AcceptsOnlyImageOnlyDrags) {
    struct Case {
        std::vector<std::string> formats;
        bool accepted;
    };
    for (const Case& c : {
             Case{{"image/png"}, true},
             Case{{"image/tiff"}, true},
             Case{{"image/png", "image/tiff", "image/bmp", "application/x-color"}, true},
             Case{{"IMAGE/PNG"}, true},
             Case{{"image/tiff", "text/uri-list"}, false},            // an image file from the file manager
             Case{{"image/png", "text/plain;charset=utf-8"}, false},  // an image from a web page with its address
             Case{{"image/png", "UTF8_STRING"}, false},
             Case{{"image/png", "text/html"}, false},
             Case{{"image/png", "text/rtf"}, false},
             Case{{"image/png", "application/rtf"}, false},
             Case{{"image/png", "application/vnd.portal.filetransfer"}, false},
             Case{{"image/jpeg"}, false},
             Case{{"text/plain"}, false},
             Case{{}, false},
         }) {
        std::string all;
        for (auto& f : c.formats) all += f + " ";
        EXPECT_EQ(drop::isImageOnlyDrag(c.formats), c.accepted) << all;
    }
}

TEST(DragTypes, FilesLinksAndTextAreTakenOnlyForAPageThatAsked) {
    using drop::PageDrops;
    struct Case {
        std::vector<std::string> formats;
        bool takenByDefault;
        bool takenWhenAsked;
    };
    for (const auto& c : {
             Case{{"text/uri-list"}, false, true},                              // a file manager's files
             Case{{"image/png", "text/uri-list"}, false, true},                 // an image file with its picture
             Case{{"text/uri-list", "text/plain;charset=utf-8"}, false, true},  // a browser's link
             Case{{"application/vnd.portal.files"}, false, true},               // out of a sandboxed application
             Case{{"image/png"}, true, true},                                   // a picture alone
             Case{{"text/plain;charset=utf-8"}, false, true},                   // a text editor's words
             Case{{"text/html", "text/plain"}, false, true},
             Case{{"UTF8_STRING"}, false, true},
             Case{{"application/rtf"}, false, true},
             Case{{"image/jpeg"}, false, false},  // nothing the shell reads
             Case{{"application/x-color"}, false, false},
             Case{{}, false, false},
         }) {
        std::string all;
        for (auto& f : c.formats) all += f + " ";
        EXPECT_EQ(drop::windowTakesDrag(c.formats, PageDrops::LeftToWebView), c.takenByDefault) << all;
        EXPECT_EQ(drop::windowTakesDrag(c.formats, PageDrops::Taken), c.takenWhenAsked) << all;
    }
}
