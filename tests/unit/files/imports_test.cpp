// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "bridge/page_calls.h"
#include "common/json.h"
#include "files/temp_folder.h"
#include "files_fixture.h"
#include "support/gtk_support.h"
#include "support/json_text.h"

using namespace filestest;
namespace fs = std::filesystem;

namespace {

// The page's call for a file that does not open.
std::string failed(const std::string& name, const std::string& reason) {
    json::Array args;
    args.emplace_back(name);
    args.emplace_back(reason);
    return bridge::pagecall::text("__openFailed", bridge::pagecall::Form::GuardedPositional,
                                  json::Value(std::move(args)))
        .value_or("?");
}

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
    // A channel that cannot carry the text beside the call writes it into the script as a literal.
    const std::string head = "((a0) => {window.__restoreNative(a0); return true;\n})(", tail = ")";
    ASSERT_EQ(call.substr(0, head.size()), head);
    ASSERT_EQ(call.substr(call.size() - tail.size()), tail);
    auto arg = testsupport::parseJson(call.substr(head.size(), call.size() - head.size() - tail.size()));
    ASSERT_TRUE(arg && arg->string());
    EXPECT_EQ(*arg->string(), doc);
}

TEST(Imports, DocumentsThatAreNotStrictUtf8AreRefused) {
    testsupport::TempDir dir;
    for (const char* text : {"\"caf\xE9\"", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "ok\xE2\x82"}) {
        Fixture f;
        spit(dir.file("bad.json"), text);
        f.exchange->openJSONFile();
        f.panels->answerNext(dir.file("bad.json"));
        f.flush();
        EXPECT_EQ(f.page->scripts, (std::vector<std::string>{failed("bad.json", "notBoard")})) << text;
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

// Nothing a chooser can answer makes the shell wait, and every file that does not open is told to
// the page as a file from outside is; only a cancel or a page that is gone says nothing.
TEST(Imports, PickerAnswersThatLeadNowhere) {
    testsupport::TempDir dir;
    spit(dir.file("empty.pdf"), "");
    spit(dir.file("doc.json"), "{}");
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = dir.file("sock");
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::copy(sockPath.begin(), sockPath.end(), addr.sun_path);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string folderName = fs::path(dir.path()).filename().string();
    struct Case {
        const char* what;
        bool paper;
        std::optional<std::string> answer;
        std::string told;  // the page's call, empty for none
        bool bridgeGone = false;
    };
    for (auto& c : {
             Case{"empty paper", true, dir.file("empty.pdf"), failed("empty.pdf", "notBoard")},
             Case{"missing paper", true, dir.file("gone.pdf"), failed("gone.pdf", "missing")},
             Case{"paper is a folder", true, dir.path(), failed(folderName, "directory")},
             Case{"cancelled paper", true, std::nullopt, ""},
             Case{"cancelled document", false, std::nullopt, ""},
             Case{"missing document", false, dir.file("gone.json"), failed("gone.json", "missing")},
             Case{"endless device as document", false, std::string("/dev/zero"), failed("zero", "unreadable")},
             Case{"empty device as document", false, std::string("/dev/null"), failed("null", "unreadable")},
             Case{"pipe as paper", true, dir.file("fifo"), failed("fifo", "unreadable")},
             Case{"pipe as document", false, dir.file("fifo"), failed("fifo", "unreadable")},
             Case{"socket as document", false, sockPath, failed("sock", "unreadable")},
             Case{"bridge gone before the document", false, dir.file("doc.json"), "", true},
         }) {
        Fixture f;
        c.paper ? f.exchange->openPaperPDF() : f.exchange->openJSONFile();
        if (c.bridgeGone) f.bridge.reset();
        f.panels->answerNext(c.answer);
        f.flush();
        std::vector<std::string> want;
        if (!c.told.empty()) want.push_back(c.told);
        EXPECT_EQ(f.page->scripts, want) << c.what;
        EXPECT_EQ(f.desktop.beeps, 0) << c.what;
    }
    close(sock);
}

// A file inside a folder the user may not enter could be there: it could not be read, it is not
// missing. Root enters every folder, so the reader runs as an unprivileged user.
TEST(Imports, AFileBehindAClosedFolderCouldNotBeRead) {
    testsupport::TempDir dir;
    dir.write("closed/doc.json", "{}");
    chmod(dir.path().c_str(), 0755);
    chmod(dir.file("closed").c_str(), 0);
    auto kind = [&] { return files::readForPage(dir.file("closed/doc.json"), files::Want::Either).kind; };
    if (geteuid() != 0) {
        EXPECT_EQ(kind(), files::OpenedFile::Kind::Unreadable);
        return;
    }
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        _exit(kind() == files::OpenedFile::Kind::Unreadable ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    chmod(dir.file("closed").c_str(), 0755);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << "no unprivileged user to run as";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "answered as missing, or not at all";
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
