// SPDX-License-Identifier: GPL-3.0-or-later
// Strings posted by the page are read whole and exactly, whether or not they are large base64 that
// the engine decodes for us. A plain JavaScriptCore context holds the values, as WebKit's does.
#include <gtest/gtest.h>

#include <random>

#include "bridge/webkit_script_message.h"
#include "common/base64.h"

namespace {

std::string base64Of(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    common::Bytes bytes(n);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return common::base64::encode(bytes);
}

std::string withEvery(std::string s, std::size_t step, const std::string& insert) {
    for (std::size_t i = step; i < s.size(); i += step + insert.size()) s.insert(i, insert);
    return s;
}

}  // namespace

TEST(ScriptMessage, LargeStringsAreReadExactlyAsSent) {
    g_autoptr(JSCContext) context = jsc_context_new();
    g_autoptr(JSCValue) fast = jsc_context_evaluate(context, "typeof Uint8Array.fromBase64", -1);
    g_autofree char* type = jsc_value_to_string(fast);
    EXPECT_STREQ(type, "function") << "the engine's decoder is what the canonical cases below exercise";

    const std::string b64 = base64Of(300001, 1);  // ends in "=="
    std::string badBits = b64;
    badBits[badBits.size() - 3] = badBits[badBits.size() - 3] == 'B' ? 'C' : 'B';  // non-zero spare bits
    std::string urlSafe = b64;
    for (char& c : urlSafe) c = c == '+' ? '-' : c == '/' ? '_' : c;
    const std::string twoPad = base64Of(300002 - 1 - 2, 2);
    struct Case {
        const char* what;
        std::string text;
        bool decoded = false;  // arrives as the bytes the engine decoded
    } cases[] = {
        {"a data URL", "data:application/pdf;base64," + b64, true},
        {"bare base64", b64, true},
        {"two padding letters", "data:image/png;base64," + twoPad, true},
        {"a non-ASCII and a NUL in the prefix", std::string("data:image/p\xC3\xA9ng;x=a\0b;base64,", 30) + b64, true},
        {"spaces inside", withEvery(b64, 1000, "    ")},
        {"line breaks", withEvery(b64, 76, "\r\n\r\n")},
        {"missing padding", b64.substr(0, b64.size() - 1) + "A"},
        {"padding cut off", b64.substr(0, b64.size() - 1)},
        {"non-zero spare bits", badBits},
        {"the URL-safe alphabet", urlSafe},
        {"a padding letter inside", b64.substr(0, 4000) + "=" + b64.substr(4001)},
        {"a data URL that is not base64", "data:text/plain," + b64},
        {"text with a NUL and non-ASCII", withEvery(b64, 5000, std::string("\0\xE2\x80\xA8", 4))},
    };
    for (const auto& c : cases) {
        g_autoptr(GBytes) bytes = g_bytes_new(c.text.data(), c.text.size());
        g_autoptr(JSCValue) string = jsc_value_new_string_from_bytes(context, bytes);
        g_autoptr(JSCValue) message = jsc_value_new_object(context, nullptr, nullptr);
        jsc_value_object_set_property(message, "dataUrl", string);
        json::Value read = bridge::fromJsc(message);
        const std::string* got = read.stringAt("dataUrl");
        ASSERT_NE(got, nullptr) << c.what;
        EXPECT_TRUE(*got == c.text) << c.what << ": " << got->size() << " bytes read of " << c.text.size();
        const json::EncodedString* encoded = read.find("dataUrl")->encoded();
        EXPECT_EQ(encoded != nullptr, c.decoded) << c.what;
        if (encoded) {
            EXPECT_TRUE(encoded->bytes() == *common::base64::decode(c.text.substr(encoded->prefix().size())));
        }
    }

    // A lone surrogate in a decoded data URL's prefix reads as U+FFFD, as anywhere else.
    g_autoptr(JSCValue) b64Value = jsc_value_new_string(context, b64.c_str());
    jsc_context_set_value(context, "b64", b64Value);
    g_autoptr(JSCValue) lone = jsc_context_evaluate(context, "({ dataUrl: 'data:x\\uD800;base64,' + b64 })", -1);
    json::Value read = bridge::fromJsc(lone);
    const std::string* got = read.stringAt("dataUrl");
    ASSERT_NE(got, nullptr);
    EXPECT_TRUE(*got == "data:x\xEF\xBF\xBD;base64," + b64);
}

// Member names cross whole too: a NUL stays and a lone surrogate reads as U+FFFD, and the members'
// values are kept, so that a command can refuse such a name instead of losing its object.
TEST(ScriptMessage, MemberNamesAreReadWhole) {
    g_autoptr(JSCContext) context = jsc_context_new();
    g_autoptr(JSCValue) message =
        jsc_context_evaluate(context, "({ headers: { 'a\\u0000b': '1', 'x\\uD800': '2', plain: '3' }, n: 4 })", -1);
    json::Value read = bridge::fromJsc(message);
    const json::Value* headers = read.find("headers");
    ASSERT_TRUE(headers && headers->object());
    std::vector<std::pair<std::string, std::string>> members;
    for (const auto& [name, value] : *headers->object())
        members.emplace_back(name, value.string() ? *value.string() : "(not a string)");
    EXPECT_EQ(members, (std::vector<std::pair<std::string, std::string>>{
                           {std::string("a\0b", 3), "1"}, {"x\xEF\xBF\xBD", "2"}, {"plain", "3"}}));
    EXPECT_EQ(read.find("n") ? json::write(*read.find("n")) : std::nullopt, std::optional<std::string>("4"));
}
