// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/base64.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <thread>

namespace common::base64 {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint32_t kBad = 0x01000000;

// Two output letters per 12 input bits: halves the lookups of the obvious loop.
struct EncodeTable {
    std::array<std::uint16_t, 4096> pair{};
    constexpr EncodeTable() {
        for (unsigned i = 0; i < 4096; ++i) {
            unsigned char a = static_cast<unsigned char>(kAlphabet[i >> 6]);
            unsigned char b = static_cast<unsigned char>(kAlphabet[i & 63]);
            pair[i] = static_cast<std::uint16_t>(a | (b << 8));  // little-endian store order
        }
    }
};

// One table per position of a quad, values pre-shifted into the 24-bit group (big-endian byte
// order inside it); an invalid letter sets bit 24 so one test per quad finds it.
struct DecodeTables {
    std::array<std::uint32_t, 256> d[4]{};
    constexpr DecodeTables() {
        for (auto& t : d)
            for (auto& v : t) v = kBad;
        for (unsigned i = 0; i < 64; ++i) {
            auto c = static_cast<unsigned char>(kAlphabet[i]);
            d[0][c] = i << 18;
            d[1][c] = i << 12;
            d[2][c] = i << 6;
            d[3][c] = i;
        }
    }
};

constexpr EncodeTable kEnc;
constexpr DecodeTables kDec;

inline int value(unsigned char c) {
    std::uint32_t v = kDec.d[3][c];
    return v == kBad ? -1 : static_cast<int>(v);
}

}  // namespace

char* encodeTo(const std::uint8_t* in, std::size_t size, char* o) {
    std::size_t i = 0;
    // Six input bytes per step: one 64-bit load feeds four table lookups and one 8-byte store.
    for (; i + 8 <= size; i += 6) {
        std::uint64_t w;
        std::memcpy(&w, in + i, 8);
        w = __builtin_bswap64(w);
        std::uint16_t a = kEnc.pair[(w >> 52) & 0xFFF], b = kEnc.pair[(w >> 40) & 0xFFF];
        std::uint16_t c = kEnc.pair[(w >> 28) & 0xFFF], d = kEnc.pair[(w >> 16) & 0xFFF];
        std::uint64_t outWord =
            std::uint64_t(a) | (std::uint64_t(b) << 16) | (std::uint64_t(c) << 32) | (std::uint64_t(d) << 48);
        std::memcpy(o, &outWord, 8);
        o += 8;
    }
    for (; i + 3 <= size; i += 3) {
        std::uint32_t g = (std::uint32_t(in[i]) << 16) | (std::uint32_t(in[i + 1]) << 8) | in[i + 2];
        std::uint16_t hi = kEnc.pair[g >> 12], lo = kEnc.pair[g & 0xFFF];
        std::memcpy(o, &hi, 2);
        std::memcpy(o + 2, &lo, 2);
        o += 4;
    }
    if (std::size_t rest = size - i) {
        std::uint32_t g = std::uint32_t(in[i]) << 16;
        if (rest == 2) g |= std::uint32_t(in[i + 1]) << 8;
        o[0] = kAlphabet[(g >> 18) & 63];
        o[1] = kAlphabet[(g >> 12) & 63];
        o[2] = rest == 2 ? kAlphabet[(g >> 6) & 63] : '=';
        o[3] = '=';
        o += 4;
    }
    return o;
}

void encodeAppend(const std::uint8_t* in, std::size_t size, std::string& out) {
    // Big payloads (a page upload read back, a PDF of tens of megabytes) are encoded in two halves
    // at once; zero-filling the room first costs far less than the second half.
    constexpr std::size_t kSplitAbove = 4u << 20;
    if (size > kSplitAbove) {
        std::size_t start = out.size(), half = size / 6 * 3;  // whole groups: no padding inside
        out.resize(start + encodedSize(size));
        char* o = out.data() + start;
        std::thread first([&] { encodeTo(in, half, o); });
        encodeTo(in + half, size - half, o + encodedSize(half));
        first.join();
        return;
    }
    // Encode through a cache-sized block and append it: resize() would first zero-fill tens of
    // megabytes that are overwritten at once.
    out.reserve(out.size() + encodedSize(size));
    constexpr std::size_t kBlock = 48 * 1024;  // a multiple of 3: no padding inside the stream
    char buf[kBlock / 3 * 4];
    for (std::size_t i = 0; i < size; i += kBlock) {
        std::size_t n = std::min(kBlock, size - i);
        char* end = encodeTo(in + i, n, buf);
        out.append(buf, end);
    }
}

std::string encode(const std::uint8_t* data, std::size_t size) {
    std::string out;
    encodeAppend(data, size, out);
    return out;
}

namespace {

// Decodes whole quads; false when any letter is outside the alphabet.
bool decodeQuads(const unsigned char* s, std::size_t n, std::uint8_t* o) {
    std::uint32_t bad = 0;
    for (std::size_t i = 0; i < n; i += 4) {
        std::uint32_t g = kDec.d[0][s[i]] | kDec.d[1][s[i + 1]] | kDec.d[2][s[i + 2]] | kDec.d[3][s[i + 3]];
        bad |= g;
        o[0] = static_cast<std::uint8_t>(g >> 16);
        o[1] = static_cast<std::uint8_t>(g >> 8);
        o[2] = static_cast<std::uint8_t>(g);
        o += 3;
    }
    return (bad & kBad) == 0;
}

}  // namespace

bool decodeAppend(std::string_view text, Bytes& out) {
    std::size_t n = text.size();
    if (n % 4 != 0) return false;
    if (n == 0) return true;
    auto s = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t pad = s[n - 1] == '=' ? (s[n - 2] == '=' ? 2 : 1) : 0;
    std::size_t start = out.size();
    out.resize(start + n / 4 * 3 - pad);
    std::uint8_t* o = out.data() + start;
    std::size_t full = pad ? n - 4 : n;
    bool ok;
    // Big payloads (page uploads of tens of megabytes) are decoded in two halves at once.
    constexpr std::size_t kSplitAbove = 4u << 20;
    if (full > kSplitAbove) {
        std::size_t half = full / 8 * 4;
        bool firstOk = false;
        std::thread first([&] { firstOk = decodeQuads(s, half, o); });
        bool secondOk = decodeQuads(s + half, full - half, o + half / 4 * 3);
        first.join();
        ok = firstOk && secondOk;
    } else {
        ok = decodeQuads(s, full, o);
    }
    if (!ok) {
        out.resize(start);
        return false;
    }
    o += full / 4 * 3;
    if (pad) {
        const unsigned char* q = s + full;
        int a = value(q[0]), b = value(q[1]);
        int c = pad == 2 ? 0 : value(q[2]);
        if (a < 0 || b < 0 || c < 0) {
            out.resize(start);
            return false;
        }
        std::uint32_t g = (std::uint32_t(a) << 18) | (std::uint32_t(b) << 12) | (std::uint32_t(c) << 6);
        o[0] = static_cast<std::uint8_t>(g >> 16);
        if (pad == 1) o[1] = static_cast<std::uint8_t>(g >> 8);
    }
    return true;
}

std::optional<Bytes> decode(std::string_view text) {
    Bytes out;
    if (!decodeAppend(text, out)) return std::nullopt;
    return out;
}

}  // namespace common::base64
