// SPDX-License-Identifier: GPL-3.0-or-later
// The board's own file: which events set it, which leave it alone, and Save in place / Save As.
#include <sys/stat.h>

#include "files_fixture.h"
#include "support/gtk_support.h"

using namespace filestest;
namespace fs = std::filesystem;

namespace {

// The last report the page was given.
std::string lastReport(Fixture& f) {
    f.flush();
    return f.page->scripts.empty() ? "" : f.page->scripts.back();
}

// A save without a chooser, in place, says so.
std::string written(const std::string& name, bool inPlace = false) {
    return "window.__saveResult && window.__saveResult({\"action\":\"saveJSON\",\"ok\":true,\"name\":\"" + name +
           "\",\"reason\":\"written\"" + (inPlace ? ",\"inPlace\":true" : "") + "})";
}

}  // namespace

TEST(DocumentSave, SetByAnOpenedBoardOrAWrittenSaveAndKeptByCancelledOrFailedOnes) {
    testsupport::TempDir dir;
    Fixture f;
    auto doc = std::make_shared<files::DocumentFile>();
    f.exchange->setDocument(doc);

    // A board picked in the Open chooser becomes the document; a file that cannot be read does not.
    spit(dir.file("a.json"), "{\"v\":1}");
    f.exchange->openJSONFile();
    f.panels->answerNext(dir.file("missing.json"));
    EXPECT_FALSE(doc->path());
    f.exchange->openJSONFile();
    f.panels->answerNext(dir.file("a.json"));
    EXPECT_EQ(doc->path(), dir.file("a.json"));

    // A cancelled save and a failed one leave it as it was.
    f.exchange->saveText("{}", "x.json", "json");
    f.panels->answerNext(std::nullopt);
    EXPECT_EQ(doc->path(), dir.file("a.json"));
    fs::create_directory(dir.file("folder"));
    f.exchange->saveText("{}", "x.json", "json");
    f.panels->answerNext(dir.file("folder"));
    ASSERT_TRUE(f.saved());
    EXPECT_EQ(doc->path(), dir.file("a.json"));
    EXPECT_EQ(f.desktop.beeps, 1);

    // Other saves are no board; a written JSON save is.
    f.exchange->saveFile("b.json", dataUrl(common::toBytes("{}"), "application/json"));
    f.panels->answerNext(dir.file("b.json"));
    ASSERT_TRUE(f.saved());
    EXPECT_EQ(doc->path(), dir.file("a.json"));
    f.exchange->saveText("{}", "x.json", "json");
    f.panels->answerNext(dir.file("c.json"));
    ASSERT_TRUE(f.saved());
    EXPECT_EQ(doc->path(), dir.file("c.json"));

    doc->clear();
    EXPECT_FALSE(doc->path());
}

TEST(DocumentSave, ToTheDocumentWritesInPlaceWithoutAChooserAndReportsAsAChooserSaveWould) {
    testsupport::TempDir dir;
    Fixture f;
    auto doc = std::make_shared<files::DocumentFile>();
    f.exchange->setDocument(doc);
    std::vector<std::string> started;
    std::vector<files::SaveReason> ended;
    f.exchange->setSaveStartObserver([&](const std::string& a) { started.push_back(a); });
    f.exchange->setSaveObserver([&](const files::SaveOutcome& o) { ended.push_back(o.reason); });

    // No document yet: the chooser, as without a target.
    f.exchange->saveBoard("{\"v\":1}", bridge::BoardTarget::Document);
    ASSERT_EQ(f.panels->shown.size(), 1u);
    EXPECT_EQ(f.panels->shown.front().allowedExtension, "json");
    f.panels->answerNext(dir.file("板 1.json"));
    ASSERT_TRUE(f.saved());
    EXPECT_EQ(doc->path(), dir.file("板 1.json"));
    EXPECT_EQ(lastReport(f), written("板 1.json"));

    // Then in place: no chooser, the file holds the new board, the page hears "written" in place.
    f.exchange->saveBoard("{\"v\":2}", bridge::BoardTarget::Document);
    EXPECT_TRUE(f.panels->shown.empty());
    ASSERT_TRUE(f.saved());
    EXPECT_EQ(slurp(dir.file("板 1.json")), "{\"v\":2}");
    EXPECT_EQ(lastReport(f), written("板 1.json", true));
    EXPECT_EQ(started, (std::vector<std::string>{"saveJSON", "saveJSON"}));
    EXPECT_EQ(ended, (std::vector{files::SaveReason::Written, files::SaveReason::Written}));
    EXPECT_EQ(f.exchange->savesInProgress(), 0u);

    // A write that fails keeps the old file whole, beeps, reports "failed" and keeps the document.
    doc->set(dir.file("gone/板 1.json"));
    f.exchange->saveBoard("{\"v\":3}", bridge::BoardTarget::Document);
    EXPECT_TRUE(f.panels->shown.empty());
    ASSERT_TRUE(f.saved());
    EXPECT_EQ(f.desktop.beeps, 1);
    EXPECT_EQ(ended.back(), files::SaveReason::Failed);
    EXPECT_NE(lastReport(f).find("\"reason\":\"failed\""), std::string::npos);
    EXPECT_EQ(doc->path(), dir.file("gone/板 1.json"));
    EXPECT_EQ(slurp(dir.file("板 1.json")), "{\"v\":2}");
}

TEST(DocumentSave, SaveAsProposesTheDocumentsNameAndFolderAndMovesTheDocumentOnlyWhenWritten) {
    testsupport::TempDir dir;
    Fixture f;
    auto doc = std::make_shared<files::DocumentFile>();
    f.exchange->setDocument(doc);

    // Without a document, Save As is the plain chooser.
    f.exchange->saveBoard("{}", bridge::BoardTarget::Choose);
    ASSERT_EQ(f.panels->shown.size(), 1u);
    EXPECT_EQ(f.panels->shown.front().suggestedName.rfind("TAVRIK-", 0), 0u);
    f.panels->answerNext(std::nullopt);

    fs::create_directory(dir.file("boards"));
    doc->set(dir.file("boards/plan.json"));
    f.exchange->saveBoard("{}", bridge::BoardTarget::Choose);
    ASSERT_EQ(f.panels->shown.size(), 1u);
    EXPECT_EQ(f.panels->shown.front().suggestedName, "plan.json");
    EXPECT_EQ(f.panels->shown.front().folder, dir.file("boards"));
    f.panels->answerNext(std::nullopt);
    EXPECT_EQ(doc->path(), dir.file("boards/plan.json"));

    f.exchange->saveBoard("{\"copy\":1}", bridge::BoardTarget::Choose);
    f.panels->answerNext(dir.file("copy.json"));
    ASSERT_TRUE(f.saved());
    EXPECT_EQ(doc->path(), dir.file("copy.json"));
    EXPECT_EQ(slurp(dir.file("copy.json")), "{\"copy\":1}");
    EXPECT_FALSE(fs::exists(dir.file("boards/plan.json")));

    // A board at the root proposes the root.
    doc->set("/plan.json");
    f.exchange->saveBoard("{}", bridge::BoardTarget::Choose);
    EXPECT_EQ(f.panels->shown.front().folder, "/");
}
