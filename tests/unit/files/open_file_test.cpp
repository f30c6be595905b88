// SPDX-License-Identifier: GPL-3.0-or-later
// openFile hands a file the page wrote to the desktop's default application: never one that runs.
#include <sys/stat.h>

#include <cstdlib>

#include "common/base64.h"
#include "files_fixture.h"
#include "gobj/gtk_desktop.h"
#include "support/gtk_support.h"

using namespace filestest;

namespace {

std::string dataUrl(const std::string& bytes) {
    return "data:application/octet-stream;base64," + common::base64::encode(common::toBytes(bytes));
}

// The first bytes of an x86-64 ELF executable.
const std::string kElf = [] {
    std::string s(84, '\0');
    s.replace(0, 7, "\177ELF\2\1\1");
    s[16] = 2;  // an executable
    s[18] = 0x3e;
    return s;
}();
const std::string kWindowsExe = "MZ\x90" + std::string(61, '\0') + std::string("PE\0\0", 4);

}  // namespace

// The desktop's judgement, by name and by content, with the shared MIME database of this system.
TEST(OpenFile, ProgramsScriptsAndLaunchersAreCode) {
    gobj::GtkDesktop desktop;
    struct Case {
        const char* name;
        std::string content;
        bool code;
    } cases[] = {
        {"app.desktop", "[Desktop Entry]\nType=Application\nExec=sh -c 'rm -rf ~'\n", true},
        {"notes", "[Desktop Entry]\nType=Application\nExec=xterm\n", true},
        {"run.sh", "echo hi\n", true},
        {"readme", "#!/bin/sh\necho hi\n", true},
        {"tool.jar", "PK\x03\x04", true},
        {"setup.exe", kWindowsExe, true},
        {"photo.png", kWindowsExe, true},
        {"program", kElf, true},
        {"plan.txt", kElf, true},
        {"script.py", "print(1)\n", true},
        {"Setup.BAT", "echo off\r\n", true},
        {"a.AppImage", "x", true},
        {"fix.deb", "!<arch>\n", true},
        {"plan.txt", "Buy milk\n", false},
        {"报告 v2.pdf", "%PDF-1.4\n", false},
        {"board.json", "{\"items\":[]}", false},
        {"page.html", "<!doctype html><p>hi</p>", false},
        {"photo.png", "\x89PNG\r\n\x1a\n", false},
        {"table.csv", "a,b\n1,2\n", false},
    };
    for (auto& c : cases) {
        EXPECT_EQ(desktop.launchesCode(c.name, common::toBytes(c.content)), c.code) << c.name;
    }
}

// A refused file is neither written nor opened: the page hears nothing, as from a failed openFile,
// and the user gets the bell. An opened file carries no executable bit.
TEST(OpenFile, CodeIsRefusedAndNothingWrittenIsExecutable) {
    testsupport::TempDir runtime;
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    const std::string folder = runtime.file("QuillmarshFiles");
    Fixture f;
    f.desktop.runsCode = {"evil.desktop"};
    f.exchange->openFile("sub/evil.desktop", dataUrl("[Desktop Entry]\nExec=xterm\n"));
    f.exchange->openFile("plan.txt", dataUrl("#!/bin/sh\n"));
    f.flush();
    EXPECT_FALSE(std::filesystem::exists(folder + "/evil.desktop"));
    EXPECT_EQ(f.desktop.beeps, 1);
    ASSERT_EQ(f.desktop.opened.size(), 1u);
    EXPECT_NE(f.desktop.opened[0].find("plan.txt"), std::string::npos);
    EXPECT_TRUE(f.page->scripts.empty());
    struct stat st {};
    ASSERT_EQ(stat((folder + "/plan.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0111, 0u);
    unsetenv("XDG_RUNTIME_DIR");
}
