// SPDX-License-Identifier: GPL-3.0-or-later
// Choosers start where that kind of file was last chosen, and a name typed without an extension
// gets the format's.
#include "files/chooser_folders.h"

#include "files_fixture.h"
#include "support/gtk_support.h"

using namespace filestest;
namespace fs = std::filesystem;

TEST(ChooserFolders, EachKindStartsInItsLastFolderAndTheFirstTimeInTheFallback) {
    testsupport::TempDir dir;
    for (const char* sub : {"boards", "exports", "papers"}) fs::create_directory(dir.file(sub));
    spit(dir.file("papers/p.pdf"), "%PDF-1.4\n");
    fakes::MemorySettings settings;
    Fixture f;
    f.exchange->setFolders(std::make_shared<files::ChooserFolders>(settings, "/home/me/Documents"));

    f.exchange->saveText("{}", "b.json", "json");
    EXPECT_EQ(f.panels->shown.front().folder, "/home/me/Documents");
    f.panels->answerNext(dir.file("boards/b.json"));
    f.exchange->saveImage(dataUrl(pngImage(2, 2)), "png");
    EXPECT_EQ(f.panels->shown.front().folder, "/home/me/Documents");
    f.panels->answerNext(dir.file("exports/i.png"));
    f.exchange->openPaperPDF();
    EXPECT_EQ(f.panels->shown.front().folder, "/home/me/Documents");
    f.panels->answerNext(dir.file("papers/p.pdf"));
    // A cancelled chooser remembers nothing.
    f.exchange->saveFile("x.csv", dataUrl(common::toBytes("a"), "text/csv"));
    f.panels->answerNext(std::nullopt);

    // A new start reads the same settings.
    Fixture g;
    g.exchange->setFolders(std::make_shared<files::ChooserFolders>(settings, "/home/me/Documents"));
    g.exchange->openJSONFile();
    EXPECT_EQ(g.panels->shown.back().folder, dir.file("boards"));
    g.exchange->saveFile("x.csv", dataUrl(common::toBytes("a"), "text/csv"));
    EXPECT_EQ(g.panels->shown.back().folder, dir.file("exports"));
    g.exchange->savePDF(dataUrl(pngImage(2, 2)));
    EXPECT_EQ(g.panels->shown.back().folder, dir.file("exports"));
    g.exchange->openPaperPDF();
    EXPECT_EQ(g.panels->shown.back().folder, dir.file("papers"));

    // A stored value that is no absolute folder is ignored.
    settings.values["folder-boards"] = "relative/place";
    g.exchange->saveText("{}", "b.json", "json");
    EXPECT_EQ(g.panels->shown.back().folder, "/home/me/Documents");
}

TEST(ChooserFolders, ANameTypedWithoutExtensionGetsTheFormatsUnlessThatWouldReplaceAnUnaskedFile) {
    testsupport::TempDir dir;
    spit(dir.file("taken.jpg"), "old");
    spit(dir.file("replaced"), "old");
    fs::create_directory(dir.file("folder"));
    struct Case {
        std::string typed, ext, expected;
    } cases[] = {
        {"export-jpg", "jpg", "export-jpg.jpg"},
        {"board", "json", "board.json"},
        {"trailing.", "json", "trailing.json"},
        {"plan.v2", "json", "plan.v2"},       // an extension of its own is kept
        {"notes", "", "notes"},               // a save of any type
        {"taken", "jpg", "taken"},            // taken.jpg exists: the chooser never asked about it
        {".hidden", "json", ".hidden.json"},  // a leading dot is no extension
        {"replaced", "json", "replaced"},     // the chooser asked before replacing it
        {"folder", "json", "folder"},         // written as chosen, and fails as before
    };
    for (const auto& c : cases)
        EXPECT_EQ(files::withExtension(dir.file(c.typed), c.ext), dir.file(c.expected)) << c.typed;
    EXPECT_EQ(slurp(dir.file("taken.jpg")), "old");

    // Written under the longer name, and reported with it.
    Fixture f;
    f.exchange->saveImage(dataUrl(jpegImage(2, 2), "image/jpeg"), "jpg");
    f.panels->answerNext(dir.file("export-jpg"));
    ASSERT_TRUE(f.saved());
    EXPECT_TRUE(fs::exists(dir.file("export-jpg.jpg")));
    EXPECT_FALSE(fs::exists(dir.file("export-jpg")));
    f.flush();
    ASSERT_FALSE(f.page->scripts.empty());
    EXPECT_NE(f.page->scripts.back().find("\"name\":\"export-jpg.jpg\""), std::string::npos);
    f.exchange->savePDF(dataUrl(pngImage(2, 2)));
    f.panels->answerNext(dir.file("paper"));
    ASSERT_TRUE(f.settle([&] { return f.exchange->savesInProgress() == 0; }));
    EXPECT_TRUE(fs::exists(dir.file("paper.pdf")));
}
