// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "common/base64.h"
#include "common/data_url.h"
#include "common/default_stamp.h"
#include "common/json.h"
#include "common/quit_holds.h"

using namespace common;

TEST(Base64, RoundTripsEveryLengthAndByte) {
    Bytes all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<std::uint8_t>(i));
    for (std::size_t n = 0; n <= all.size(); ++n) {
        Bytes part(all.begin(), all.begin() + n);
        auto back = base64::decode(base64::encode(part));
        ASSERT_TRUE(back) << n;
        EXPECT_EQ(*back, part) << n;
    }
    EXPECT_EQ(base64::encode(toBytes("ABC")), "QUJD");
    EXPECT_EQ(base64::encode(toBytes("AB")), "QUI=");
    EXPECT_EQ(base64::encode(toBytes("A")), "QQ==");
}

TEST(Base64, StrictDecodingRejectsAnythingButCanonicalText) {
    struct Case {
        const char* text;
        bool ok;
    };
    for (auto c : {Case{"", true}, Case{"QUJD", true}, Case{"QUI=", true}, Case{"QQ==", true},
                   Case{"QUJ", false},  // missing padding
                   Case{"QQ=", false}, Case{"Q===", false}, Case{"=QUJ", false}, Case{"QU=D", false},  // padding inside
                   Case{"QUJD\n", false}, Case{"QU JD", false}, Case{" QUJD", false},
                   Case{"QUJD\r\nQUJD", false},  // line breaks
                   Case{"-_-_", false},          // URL-safe alphabet
                   Case{"QUJD====", false}, Case{"QUJDQQ==QUJD", false}}) {
        EXPECT_EQ(base64::decode(c.text).has_value(), c.ok) << c.text;
    }
}

TEST(DataUrl, PayloadIsTheLastNonEmptyPieceBetweenCommas) {
    struct Case {
        const char* in;
        std::optional<std::string> payload;
    };
    for (auto c : {Case{"data:image/png;base64,QUJD", "QUJD"}, Case{"QUJD", "QUJD"}, Case{"data:x,y,QUJD", "QUJD"},
                   Case{"data:image/png;base64,", "data:image/png;base64"}, Case{",,,", std::nullopt},
                   Case{"", std::nullopt}, Case{"a,,QUJD,,", "QUJD"}}) {
        auto p = dataurl::payload(c.in);
        EXPECT_EQ(p ? std::optional<std::string>(std::string(*p)) : std::nullopt, c.payload) << c.in;
    }
    EXPECT_EQ(dataurl::decode("data:image/png;base64,QUJD"), toBytes("ABC"));
    EXPECT_FALSE(dataurl::decode("data:image/png;base64,"));
    EXPECT_FALSE(dataurl::decode("data:text/plain;base64,QU\nJD"));
    EXPECT_EQ(dataurl::make("image/jpeg", toBytes("ABC")), "data:image/jpeg;base64,QUJD");
    // A string that arrived decoded gives its bytes, bare or behind a data URL's header.
    EXPECT_EQ(dataurl::decodeValue(json::EncodedString("data:x;base64,", toBytes("AB,C"))), toBytes("AB,C"));
    EXPECT_EQ(dataurl::decodeValue(json::EncodedString("", toBytes("ABC"))), toBytes("ABC"));
    EXPECT_EQ(dataurl::decodeValue(json::Value("data:,QUJD")), toBytes("ABC"));
    EXPECT_FALSE(dataurl::decodeValue(json::Value("data:,QUJ")));
    EXPECT_FALSE(dataurl::decodeValue(json::Value(3)));
}

TEST(DefaultStamp, FormatsLocalTimeToTheMinute) {
    setenv("TZ", "UTC", 1);
    tzset();
    // 2025-03-05 14:07:59 UTC
    EXPECT_EQ(defaultStampAt("TAVRIK", "json", 1741183679), "TAVRIK-20250305-1407.json");
    EXPECT_EQ(defaultStampAt("TAVRIK-系列", "pdf", 1741183679), "TAVRIK-系列-20250305-1407.pdf");
    setenv("TZ", "Asia/Shanghai", 1);
    tzset();
    EXPECT_EQ(defaultStampAt("TAVRIK", "png", 1741183679), "TAVRIK-20250305-2207.png");
    unsetenv("TZ");
    tzset();
}

TEST(JsonWriter, WritesWhatThePageExpects) {
    struct Case {
        json::Value v;
        const char* text;
    };
    json::Object obj{{"a", 1}, {"b", json::Array{true, nullptr, 0.5, "x"}}};
    for (auto& c : std::vector<Case>{
             {json::Value("a/b"), R"("a\/b")"},
             {json::Value("q\"b\\n\nr\rt\t\b\f\x01"), R"("q\"b\\n\nr\rt\t\b\f\u0001")"},
             {json::Value("中文 \u2028 </script>"), "\"中文 \u2028 <\\/script>\""},
             {json::Value(obj), R"({"a":1,"b":[true,null,0.5,"x"]})"},
             {json::Value(json::Array{0, -3, 119, 1e21}), "[0,-3,119,1e+21]"},
         }) {
        EXPECT_EQ(json::write(c.v), std::optional<std::string>(c.text));
    }
    EXPECT_FALSE(json::write(json::Value(std::nan(""))));
    EXPECT_FALSE(json::write(json::Value(std::string("\xff\xfe"))));  // not UTF-8
}

TEST(JsonValue, AnEncodedStringIsItsTextToEveryReader) {
    const common::Bytes bytes{0xfb, 0xff, 0x00, 'a'};
    const json::Value encoded(json::EncodedString("data:x/y;base64,", bytes));
    ASSERT_TRUE(encoded.isString());
    EXPECT_EQ(*encoded.string(), "data:x/y;base64,+/8AYQ==");
    EXPECT_EQ(encoded, json::Value("data:x/y;base64,+/8AYQ=="));
    EXPECT_NE(encoded, json::Value("data:x/y;base64,+/8AYg=="));
    EXPECT_NE(encoded, json::Value(json::Array{}));
    EXPECT_EQ(json::write(json::Array{encoded}), std::optional<std::string>(R"(["data:x\/y;base64,+\/8AYQ=="])"));

    // A change goes to a plain copy; another holder of the same encoded string still reads the original.
    json::Value changed = encoded;
    changed.string()->append("!");
    EXPECT_EQ(changed.encoded(), nullptr);
    EXPECT_EQ(*changed.string(), "data:x/y;base64,+/8AYQ==!");
    EXPECT_EQ(*encoded.string(), "data:x/y;base64,+/8AYQ==");
    EXPECT_EQ(encoded.encoded()->bytes(), bytes);
}

TEST(Base64, LargePayloadsDecodeInHalvesAndStillRefuseABadLetterAnywhere) {
    Bytes big(9u << 20);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7919 >> 3);
    std::string text = base64::encode(big);
    EXPECT_EQ(base64::decode(text), big);
    for (std::size_t at : {std::size_t{0}, text.size() / 2 - 1, text.size() / 2, text.size() - 5}) {
        std::string bad = text;
        bad[at] = '\n';
        EXPECT_FALSE(base64::decode(bad)) << at;
    }
}

TEST(Base64, LargePayloadsEncodeInHalvesToTheSameText) {
    for (std::size_t extra : {0, 1, 2}) {
        Bytes big((5u << 20) + extra);
        for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7919 >> 5);
        // The same bytes in two pieces small enough to be encoded in one go each.
        const std::size_t cut = 3u << 20;
        std::string expected =
            "data:x;base64," + base64::encode(big.data(), cut) + base64::encode(big.data() + cut, big.size() - cut);
        std::string text = "data:x;base64,";
        base64::encodeAppend(big.data(), big.size(), text);
        EXPECT_TRUE(text == expected) << extra;
    }
}

TEST(Utf8, AFaultIsFoundAnywhereInALongRunOfAscii) {
    const std::string ascii(37, 'a');
    struct Case {
        std::string bad;
        bool ok;
    } cases[] = {
        {"\xC3\xA9", true},      {"\xE2\x80\xA8", true}, {"\xF0\x9F\x98\x80", true},
        {"\xFF", false},         {"\xC0\xAF", false},  // overlong
        {"\xED\xA0\x80", false},                       // a surrogate
        {"\xE2\x80", false},                           // cut short
        {"\x80", false},                               // a lone continuation byte
    };
    for (const auto& c : cases)
        for (std::size_t at = 0; at <= ascii.size(); ++at) {
            std::string text = ascii.substr(0, at) + c.bad + ascii.substr(at);
            EXPECT_EQ(json::validUtf8(text), c.ok) << at;
            if (c.bad.size() > 1) {
                EXPECT_FALSE(json::validUtf8(ascii.substr(0, at) + c.bad.substr(0, 1))) << at;
            }
        }
}

TEST(QuitHolds, QuitWaitsForTheLastHold) {
    int quits = 0;
    auto holds = std::make_shared<common::QuitHolds>([&] { ++quits; });
    auto a = holds->hold(), b = holds->hold();
    holds->requestQuit();
    a.reset();
    EXPECT_EQ(quits, 0);
    b.reset();
    EXPECT_EQ(quits, 1);
    auto c = holds->hold();
    c.reset();  // released with no quit asked: nothing happens
    EXPECT_EQ(quits, 1);
}
