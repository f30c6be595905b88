#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "common/json.h"
#include "files/temp_folder.h"
#include "files_fixture.h"
#include "support/gtk_support.h"
#include "support/json_text.h"

using namespace filestest;
namespace fs = std::filesystem;

namespace {

// Sets an environment variable for one scope (nullptr unsets it).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(Imports, DocumentReachesThePageAsOneStringByteForByte) {
    testsupport::TempDir dir;
    Fixture f;
    const std::string doc = "{\"t\":\"say \\\"hi\\\" \\\\ back\",\n\"u\":\"中文 \xE2\x80\xA8 </script> ')\"}\r\n";
    spit(dir.file("doc.json"), doc);
    f.exchange->openJSONFile();
    f.panels->answerNext(dir.file("doc.json"));
    f.flush();
    ASSERT_EQ(f.page->scripts.size(), 2u);
    EXPECT_EQ(f.page->scripts[1], "window.__boardOpened && window.__boardOpened(\"doc.json\")")
        << "the page learns the file's name after its text";
    const std::string& call = f.page->scripts[0];
    const std::string head = "window.__restoreNative((", tail = ")[0])";
    ASSERT_EQ(call.substr(0, head.size()), head);
    ASSERT_EQ(call.substr(call.size() - tail.size()), tail);
    auto arg = testsupport::parseJson(call.substr(head.size(), call.size() - head.size() - tail.size()));
    ASSERT_TRUE(arg && arg->array() && arg->array()->size() == 1);
    EXPECT_EQ(*(*arg->array())[0].string(), doc);
}

TEST(Imports, DocumentsThatAreNotStrictUtf8AreDropped) {
    testsupport::TempDir dir;
    for (const char* text : {"\"caf\xE9\"", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "ok\xE2\x82"}) {
        Fixture f;
        spit(dir.file("bad.json"), text);
        f.exchange->openJSONFile();
        f.panels->answerNext(dir.file("bad.json"));
        f.flush();
        EXPECT_TRUE(f.page->scripts.empty()) << text;
    }
}

TEST(Imports, PaperLimitIsExact) {
    testsupport::TempDir dir;
    const std::string name = "Paper 论文.pdf";
    for (std::size_t size : {files::kPaperLimit, files::kPaperLimit + 1}) {
        Fixture f;
        fs::remove(dir.file(name));
        spit(dir.file(name), "%PDF-1.4\n");
        fs::resize_file(dir.file(name), size);
        f.exchange->openPaperPDF();
        f.panels->answerNext(dir.file(name));
        f.flush();
        ASSERT_EQ(f.page->scripts.size(), 1u);
        const std::string& call = f.page->scripts[0];
        if (size > files::kPaperLimit) {
            EXPECT_EQ(call, "toast('PDF 超过 25MB，无法读取')");
            continue;
        }
        const std::string head = "window.__paperFromNative(";
        ASSERT_EQ(call.substr(0, head.size()), head);
        auto paper = testsupport::parseJson(call.substr(head.size(), call.size() - head.size() - 1));
        ASSERT_TRUE(paper);
        EXPECT_EQ(*paper->stringAt("name"), name);
        const std::string& url = *paper->stringAt("dataUrl");
        const std::string prefix = "data:application/pdf;base64,";
        ASSERT_EQ(url.substr(0, prefix.size()), prefix);
        EXPECT_EQ(url.size(), prefix.size() + (size + 2) / 3 * 4);
        EXPECT_EQ(url.substr(prefix.size(), 12), common::base64::encode(common::toBytes("%PDF-1.4\n")));
    }
}

// A pick that is gone or cannot be read is told to the page; one that is no file at all is not.
TEST(Imports, PickerAnswersThatLeadNowhere) {
    testsupport::TempDir dir;
    spit(dir.file("empty.pdf"), "");
    spit(dir.file("doc.json"), "{}");
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    struct Case {
        const char* what;
        bool paper;
        std::optional<std::string> answer;
        std::string told;  // the reason __openFailed gives, or nothing said
        bool bridgeGone = false;
    };
    for (auto& c :
         {Case{"empty paper", true, dir.file("empty.pdf"), ""},
          Case{"missing paper", true, dir.file("gone.pdf"), "missing"},
          Case{"paper is a folder", true, dir.path(), "directory"}, Case{"cancelled paper", true, std::nullopt, ""},
          Case{"cancelled document", false, std::nullopt, ""},
          Case{"missing document", false, dir.file("gone.json"), "missing"},
          Case{"endless device as document", false, std::string("/dev/zero"), "unreadable"},
          Case{"pipe as paper", true, dir.file("fifo"), "unreadable"},
          Case{"bridge gone before the document", false, dir.file("doc.json"), "", true}}) {
        Fixture f;
        c.paper ? f.exchange->openPaperPDF() : f.exchange->openJSONFile();
        if (c.bridgeGone) f.bridge.reset();
        f.panels->answerNext(c.answer);
        f.flush();
        if (c.told.empty()) {
            EXPECT_TRUE(f.page->scripts.empty()) << c.what;
        } else {
            ASSERT_EQ(f.page->scripts.size(), 1u) << c.what;
            const std::string& s = f.page->scripts[0];
            EXPECT_EQ(s.rfind("window.__openFailed && window.__openFailed((", 0), 0u) << s;
            EXPECT_NE(s.find(",\"" + c.told + "\"])[1])"), std::string::npos) << s;
        }
        EXPECT_EQ(f.desktop.beeps, 0) << c.what;
    }
}

TEST(Imports, OpenFileLandsInThePrivateFolderUnderItsLastName) {
    testsupport::TempDir runtime;
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().c_str());
    const std::string folder = runtime.file("QuillmarshFiles");
    struct Case {
        const char* name;
        const char* file;
    };
    for (auto c : {Case{"notes/plan.txt", "plan.txt"}, Case{"", "file"}, Case{".", "file"}, Case{"..", "file"},
                   Case{"a/..", "file"}, Case{"/", "file"}, Case{"../../etc/x.conf", "x.conf"}, Case{"dir/", "dir"},
                   Case{"报告 v2.pdf", "报告 v2.pdf"}}) {
        Fixture f;
        f.exchange->openFile(c.name, "data:text/plain;base64,QUJD");
        EXPECT_EQ(slurp(folder + "/" + c.file), "ABC") << c.name;
        ASSERT_EQ(f.desktop.opened.size(), 1u) << c.name;
        g_autofree char* expected = g_filename_to_uri((folder + "/" + c.file).c_str(), nullptr, nullptr);
        EXPECT_EQ(f.desktop.opened[0], expected) << c.name;
        fs::remove(folder + "/" + c.file);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(runtime.path()), fs::directory_iterator()), 1);

    // The same name again replaces the file before it is opened again; bad payloads do nothing.
    Fixture f;
    f.exchange->openFile("same.txt", "data:,QUJD");
    f.exchange->openFile("same.txt", "data:,WFla");
    EXPECT_EQ(slurp(folder + "/same.txt"), "XYZ");
    EXPECT_EQ(f.desktop.opened.size(), 2u);
    f.exchange->openFile("same.txt", "data:,QUJD\nQUJD");
    f.exchange->openFile("same.txt", ",");
    EXPECT_EQ(slurp(folder + "/same.txt"), "XYZ");
    EXPECT_EQ(f.desktop.opened.size(), 2u);
    EXPECT_EQ(f.desktop.beeps, 0);
}

TEST(Imports, WithoutARuntimeFolderOnlyAFolderOfOurOwnIsUsed) {
    testsupport::TempDir tmp;
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnv tmpdir("TMPDIR", tmp.path().c_str());
    const std::string root = tmp.file("tavrik-" + std::to_string(getuid()));

    // Made on first use, closed to everyone else.
    {
        Fixture f;
        f.exchange->openFile("a.txt", "data:,QUJD");
        EXPECT_EQ(slurp(root + "/QuillmarshFiles/a.txt"), "ABC");
        struct stat st {};
        ASSERT_EQ(lstat(root.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    // A folder someone else planted under our name, or a link to elsewhere, is refused: beep,
    // nothing written, nothing opened.
    testsupport::TempDir elsewhere;
    for (int attempt : {0, 1}) {
        fs::remove_all(root);
        if (attempt == 0) {
            fs::create_directory(root);
            ASSERT_EQ(chown(root.c_str(), 4242, 4242), 0);
        } else {
            fs::create_directory_symlink(elsewhere.path(), root);
        }
        Fixture f;
        f.exchange->openFile("b.txt", "data:,QUJD");
        EXPECT_EQ(f.desktop.beeps, 1) << attempt;
        EXPECT_TRUE(f.desktop.opened.empty()) << attempt;
        EXPECT_FALSE(fs::exists(root + "/QuillmarshFiles/b.txt")) << attempt;
        EXPECT_TRUE(fs::is_empty(elsewhere.path())) << attempt;
    }
    fs::remove_all(root);
}
