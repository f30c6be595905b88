// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Deterministic big boards for bench_big_board: notes (Latin and Chinese text), photos and imported
// PDF pages as JPEG data URLs, laid out in rows, up to a given size in bytes. The same size always
// gives the same bytes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/base64.h"
#include "files/render_page.h"

namespace bigboard {

inline std::uint32_t nextRandom(std::uint32_t& r) { return r = r * 1664525u + 1013904223u; }

// Pixels of a camera photo: smooth colour fields with sensor grain, about 0.2 bytes a pixel as JPEG.
inline std::string photoDataUrl(int seed, int w, int h) {
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h);
    std::uint32_t r = 2166136261u + static_cast<std::uint32_t>(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int grain = static_cast<int>(nextRandom(r) >> 28) - 8;
            auto c = [&](double f, double phase) {
                double v = 128 + 70 * std::sin(x * f + y * f * 0.7 + phase + seed) + 40 * std::sin(y * f * 3.1 + phase);
                return static_cast<std::uint32_t>(std::clamp(static_cast<int>(v) + grain, 0, 255));
            };
            px[static_cast<std::size_t>(y) * w + x] = c(0.004, 0) << 16 | c(0.006, 2) << 8 | c(0.003, 4);
        }
    auto jpeg = files::encodePageJpeg(reinterpret_cast<const std::uint8_t*>(px.data()), w, h, w * 4, 85);
    return "data:image/jpeg;base64," + common::base64::encode(jpeg->data(), jpeg->size());
}

// A page as the PDF import delivers it (1484 × 1920, quality 90): paper, lines of words, a little noise.
inline std::string pageDataUrl(int seed) {
    const int w = 1484, h = 1920;
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h, 0xfdfdfa);
    std::uint32_t r = 77u + static_cast<std::uint32_t>(seed);
    for (int line = 0; line < 52; ++line)
        for (int x = 120; x < w - 120;) {
            int word = 20 + static_cast<int>(nextRandom(r) >> 26);
            int top = 140 + line * 33;
            for (int y = top; y < top + 16; ++y)
                for (int i = x; i < std::min(x + word, w - 120); ++i)
                    px[static_cast<std::size_t>(y) * w + i] = 0x1e1e28 + (nextRandom(r) >> 30);
            x += word + 11;
        }
    for (auto& p : px)
        if ((nextRandom(r) >> 24) < 40) p -= 0x030303;
    auto jpeg = files::encodePageJpeg(reinterpret_cast<const std::uint8_t*>(px.data()), w, h, w * 4, 90);
    return "data:image/jpeg;base64," + common::base64::encode(jpeg->data(), jpeg->size());
}

inline std::string noteText(std::uint32_t& r) {
    static const char* words[] = {"plan",   "budget",   "review", "draft",  "会议", "设计", "客户",  "进度",
                                  "launch", "question", "idea",   "“重点”", "todo", "🙂", "naïve", "façade"};
    std::string text;
    int n = 12 + static_cast<int>(nextRandom(r) >> 27);
    for (int i = 0; i < n; ++i) {
        if (i) text += (i % 9 == 0) ? "\\n" : " ";
        text += words[nextRandom(r) >> 28];
    }
    return text;
}

// Writes the board of about `bytes` bytes to `path` (through a temporary, so a cut run leaves none).
inline void writeBoard(const std::filesystem::path& path, std::size_t bytes) {
    const int kPool = 8;
    std::vector<std::string> photos, pages;
    for (int i = 0; i < kPool; ++i) photos.push_back(photoDataUrl(i, 1600, 1200));
    for (int i = 0; i < kPool; ++i) pages.push_back(pageDataUrl(i));
    static const char* colors[] = {"#fff3a8", "#c9f0d8", "#cfe3ff", "#ffd6d1"};
    std::string out = R"({"format":"tavrik-board","version":1,"items":[)";
    std::uint32_t r = 12345;
    int n = 0, page = 0;
    auto place = [&](std::string item, int w, int h) {
        char geometry[96];
        std::snprintf(geometry, sizeof geometry, R"("x":%d,"y":%d,"w":%d,"h":%d,)", (n % 40) * 640, (n / 40) * 820, w,
                      h);
        if (n++) out += ',';
        out += "{" + std::string(geometry) + item + "}";
    };
    // Pages of imported PDFs first (beneath), then photos and notes in turn, as a working board has them.
    while (out.size() < bytes * 45 / 100) {
        ++page;
        place(R"("type":"paper","name":"report.pdf )" + std::to_string(page) + R"(","src":")" + pages[page % kPool] +
                  "\"",
              600, 776);
    }
    while (out.size() + 200 < bytes) {
        if (n % 3 == 0) {
            place(R"("type":"image","name":"IMG_)" + std::to_string(1000 + n) + R"(.jpg","src":")" + photos[n % kPool] +
                      "\"",
                  480, 360);
        }
        for (int k = 0; k < 4 && out.size() + 200 < bytes; ++k)
            place(R"("type":"note","color":")" + std::string(colors[n % 4]) + R"(","text":")" + noteText(r) + "\"", 220,
                  140);
    }
    out += "]}";
    std::filesystem::path part = path.string() + ".part";
    std::ofstream(part, std::ios::binary).write(out.data(), static_cast<std::streamsize>(out.size()));
    std::filesystem::rename(part, path);
}

}  // namespace bigboard
