// SPDX-License-Identifier: GPL-3.0-or-later
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "common/data_url.h"
#include "common/log.h"
#include "drop/pasteboard_items.h"
#include "support/gtk_support.h"

using drop::MemoryPasteboard;
namespace PasteboardItems = drop::PasteboardItems;
using common::Bytes;

namespace {

// A small real image, encoded by gdk-pixbuf in the given format ("png", "tiff").
Bytes encodedImage(const char* type) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 3, 2);
    gdk_pixbuf_fill(pixbuf, 0x3366ccff);
    gchar* buf = nullptr;
    gsize size = 0;
    EXPECT_TRUE(gdk_pixbuf_save_to_buffer(pixbuf, &buf, &size, type, nullptr, nullptr));
    Bytes out(buf, buf + size);
    g_free(buf);
    g_object_unref(pixbuf);
    return out;
}

// A file of `size` bytes that takes no disk space.
void sparseFile(const std::string& path, off_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    ASSERT_EQ(ftruncate(fileno(f), size), 0);
    fclose(f);
}

// "file name mime" or "text <text>" for each record: the whole result at a glance.
std::vector<std::string> describe(const json::Array& items) {
    std::vector<std::string> out;
    for (const json::Value& item : items) {
        const std::string* kind = item.stringAt("kind");
        if (kind && *kind == "file")
            out.push_back("file " + *item.stringAt("name") + " " + *item.stringAt("mime"));
        else if (kind && *kind == "text")
            out.push_back("text " + *item.stringAt("text"));
        else
            out.push_back("?");
    }
    return out;
}

}  // namespace

TEST(PasteboardItems, CollectsFilesElseOneImageElseOneText) {
    testsupport::TempDir dir;
    dir.write("report.pdf", "%PDF-1.4 fake");
    dir.write("photo.jpg", "\xFF\xD8\xFF not really");
    dir.write("notes", "plain");
    dir.write("data.zzqx", "who knows");
    dir.write("small.bin", std::string(1'000'000, 'x'));
    dir.write("sub/inside.txt", "in a folder");
    sparseFile(dir.file("huge.dat"), 30'000'000);
    sparseFile(dir.file("exact.dat"), PasteboardItems::kMaxFileBytes);
    sparseFile(dir.file("over.dat"), PasteboardItems::kMaxFileBytes + 1);
    mkfifo(dir.file("pipe").c_str(), 0600);
    const Bytes png = encodedImage("png");
    const std::string rtf = "{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}\\f0 From RTF\\par}";
    const std::string html = "<p>From <b>HTML</b></p>";

    struct Case {
        const char* what;
        std::function<void(MemoryPasteboard&)> fill;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"two files in order with their types",
         [&](auto& pb) {
             pb.files = {dir.file("report.pdf"), dir.file("photo.jpg")};
         },
         {"file report.pdf application/pdf", "file photo.jpg image/jpeg"}},
        {"no extension or an unregistered one",
         [&](auto& pb) {
             pb.files = {dir.file("notes"), dir.file("data.zzqx")};
         },
         {"file notes application/octet-stream", "file data.zzqx application/octet-stream"}},
        {"a file listed twice gives two records",
         [&](auto& pb) {
             pb.files = {dir.file("notes"), dir.file("notes")};
         },
         {"file notes application/octet-stream", "file notes application/octet-stream"}},
        {"30 MB beside 1 MB keeps the small one",
         [&](auto& pb) {
             pb.files = {dir.file("huge.dat"), dir.file("small.bin")};
         },
         {"file small.bin application/octet-stream"}},
        {"the limit itself is taken, one byte more is not",
         [&](auto& pb) {
             pb.files = {dir.file("over.dat"), dir.file("exact.dat")};
         },
         {"file exact.dat application/octet-stream"}},
        {"30 MB alone beside an image gives the image",
         [&](auto& pb) {
             pb.files = {dir.file("huge.dat")};
             pb.image = png;
         },
         {"file 拖入图片-142530.png image/png"}},
        {"folders, pipes and vanished files are skipped",
         [&](auto& pb) {
             pb.files = {dir.file("sub"), dir.file("pipe"), dir.file("gone.txt"), dir.file("sub/inside.txt")};
         },
         {"file inside.txt text/plain"}},
        {"files win over a string",
         [&](auto& pb) {
             pb.files = {dir.file("notes")};
             pb.plain = "a string";
         },
         {"file notes application/octet-stream"}},
        {"an undecodable image falls through to text",
         [&](auto& pb) {
             pb.image = common::toBytes("not an image");
             pb.plain = "caption";
         },
         {"text caption"}},
        {"blank string with RTF gives the RTF's text",
         [&](auto& pb) {
             pb.plain = " \n\t\u3000 ";
             pb.rtf = common::toBytes(rtf);
             pb.html = common::toBytes(html);
         },
         {"text From RTF\n"}},
        {"surrounding spaces are kept", [&](auto& pb) { pb.plain = "  hello \n"; }, {"text   hello \n"}},
        {"HTML only gives its rendered text", [&](auto& pb) { pb.html = common::toBytes(html); }, {"text From HTML"}},
        {"blank everywhere gives nothing",
         [&](auto& pb) {
             pb.plain = "  ";
             pb.rtf = common::toBytes("{\\rtf1 \\par}");
             pb.html = common::toBytes("<p> </p>");
         },
         {}},
        {"an empty pasteboard gives nothing", [](auto&) {}, {}},
    };
    setenv("TZ", "UTC", 1);
    tzset();
    const std::time_t at = 1699920000 + 14 * 3600 + 25 * 60 + 30;  // 2023-11-14 14:25:30 UTC
    for (const Case& c : cases) {
        MemoryPasteboard pb;
        c.fill(pb);
        EXPECT_EQ(describe(PasteboardItems::collectAt(pb, at)), c.expected) << c.what;
    }
}

TEST(PasteboardItems, DataUrlsCarryTheWholeContent) {
    testsupport::TempDir dir;
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    dir.write("all.bin", binary);
    MemoryPasteboard files;
    files.files = {dir.file("all.bin")};
    auto items = PasteboardItems::collect(files);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(*items[0].stringAt("dataUrl"),
              common::dataurl::make("application/octet-stream", common::toBytes(binary)));

    // Both image formats come out as PNG with the size they went in with.
    for (const char* type : {"png", "tiff"}) {
        MemoryPasteboard pb;
        pb.image = encodedImage(type);
        auto records = PasteboardItems::collect(pb);
        ASSERT_EQ(records.size(), 1u) << type;
        const std::string& url = *records[0].stringAt("dataUrl");
        ASSERT_EQ(url.rfind("data:image/png;base64,", 0), 0u) << type;
        auto png = common::dataurl::decode(url);
        ASSERT_TRUE(png);
        GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
        ASSERT_TRUE(gdk_pixbuf_loader_write(loader, png->data(), png->size(), nullptr));
        ASSERT_TRUE(gdk_pixbuf_loader_close(loader, nullptr));
        GdkPixbuf* decoded = gdk_pixbuf_loader_get_pixbuf(loader);
        EXPECT_EQ(gdk_pixbuf_get_width(decoded), 3) << type;
        EXPECT_EQ(gdk_pixbuf_get_height(decoded), 2) << type;
        g_object_unref(loader);
    }
}

TEST(PasteboardItems, WhatIsSkippedIsLoggedWithItsReasonAndNoMore) {
    std::vector<std::string> lines;
    common::log::setSink([&](common::log::Level, std::string_view line) { lines.emplace_back(line); });
    testsupport::TempDir dir;
    dir.write("inner folder/notes.txt", "private words");
    MemoryPasteboard pb;
    pb.files = {dir.file("inner folder/gone.txt"), dir.file("inner folder")};
    pb.image = common::toBytes("\x89PNG\r\n\x1a\n private pixels");
    pb.plain = "private words";
    auto items = PasteboardItems::collect(pb);
    common::log::setSink({});
    ASSERT_EQ(items.size(), 1u);  // the text, after the files and the image fell through
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("drop: dropped file skipped: gone.txt: ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("drop: dropped file skipped: inner folder: ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("drop: the offered image could not be decoded", 0), 0u) << lines[2];
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find(dir.path()), std::string::npos) << line;  // names, not where they live
        EXPECT_EQ(line.find("private"), std::string::npos) << line;
    }
}

// What a page that takes drops is given: files with the ones over the limit named, else the
// picture, else links (not the text beside them), else the text.
TEST(PasteboardItems, APageThatTakesDropsGetsFilesElseTheImageElseLinksElseText) {
    testsupport::TempDir dir;
    dir.write("notes.txt", "hello");
    dir.write("caf\xE9.txt", "latin-1 name");  // a name written in ISO-8859-1
    sparseFile(dir.file("over.dat"), PasteboardItems::kMaxFileBytes + 1);
    const Bytes png = encodedImage("png");
    struct Case {
        const char* what;
        std::function<void(MemoryPasteboard&)> fill;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"files, the one over the limit refused by name",
         [&](MemoryPasteboard& pb) {
             pb.files = {dir.file("notes.txt"), dir.file("over.dat")};
             pb.linked = {"https://127.0.0.1/x"};
             pb.plain = "words";
         },
         {"file notes.txt text/plain", "refused over.dat"}},
        {"a name that is not UTF-8 keeps the file, with U+FFFD for the stray byte",
         [&](MemoryPasteboard& pb) { pb.files = {dir.file("caf\xE9.txt")}; },
         {"file caf\uFFFD.txt text/plain"}},
        {"only a file over the limit: refused, nothing else",
         [&](MemoryPasteboard& pb) { pb.files = {dir.file("over.dat")}; },
         {"refused over.dat"}},
        {"a browser's picture with its address: the picture",
         [&](MemoryPasteboard& pb) {
             pb.image = png;
             pb.linked = {"https://127.0.0.1/picture.png"};
         },
         {"file 拖入图片-142530.png image/png"}},
        {"links before the title a browser offers as text",
         [&](MemoryPasteboard& pb) {
             pb.linked = {"https://127.0.0.1/a", "https://127.0.0.1/b"};
             pb.plain = "A page title";
         },
         {"text https://127.0.0.1/a", "text https://127.0.0.1/b"}},
        {"text alone", [&](MemoryPasteboard& pb) { pb.plain = "  a sentence "; }, {"text   a sentence "}},
        {"HTML alone, as its text",
         [&](MemoryPasteboard& pb) { pb.html = common::toBytes("<p>From <b>HTML</b></p>"); },
         {"text From HTML"}},
        {"nothing readable", [](MemoryPasteboard&) {}, {}},
    };
    setenv("TZ", "UTC", 1);
    tzset();
    const std::time_t at = 1699920000 + 14 * 3600 + 25 * 60 + 30;
    for (const Case& c : cases) {
        MemoryPasteboard pb;
        c.fill(pb);
        json::Array items = PasteboardItems::collectForPageAt(pb, at);
        std::vector<std::string> got;
        for (const json::Value& item : items) {
            if (*item.stringAt("kind") == "refused")
                got.push_back("refused " + *item.stringAt("name"));
            else
                got.push_back(describe({item})[0]);
        }
        EXPECT_EQ(got, c.expected) << c.what;
        // Every record can be sent to the page.
        EXPECT_TRUE(json::write(json::Value(std::move(items)))) << c.what;
    }
}
