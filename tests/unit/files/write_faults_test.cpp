// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing files when the disk, the folder or the file itself refuses, and when the writer is killed
// half-way: the old bytes stay, nothing partial appears under the chosen name, and the temporaries a
// killed writer leaves are removed by the next process that sweeps or saves into their folder.
//
// Permissions mean nothing to root, so each write runs in a child process that has become "nobody";
// the faults are staged on a small tmpfs of its own. Both need root: without it, or where the mount is
// refused, those tests skip.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "files/file_io.h"
#include "support/file_text.h"
#include "support/temporaries.h"

namespace {

using testsupport::namesIn;
using testsupport::slurp;
using testsupport::temporariesIn;

namespace fs = std::filesystem;

void spit(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

common::Bytes bytesOf(const std::string& text) { return common::Bytes(text.begin(), text.end()); }

struct Outcome {
    bool ok = false;
    std::string error;
};

// Runs `job` in a child process, as `uid` when given; its outcome comes back through a pipe.
Outcome inChild(const std::function<common::Status()>& job, std::optional<uid_t> uid = std::nullopt, gid_t gid = 0) {
    int fds[2];
    if (pipe(fds) != 0) return {false, "pipe"};
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (uid && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(*uid) != 0)) _exit(3);
        umask(022);
        common::Status status = job();
        std::string text = status ? "" : status.error().message;
        if (write(fds[1], text.data(), text.size()) < 0) _exit(4);
        _exit(status ? 0 : 1);
    }
    close(fds[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) && WEXITSTATUS(status) == 0, text};
}

bool setImmutable(const std::string& path, bool on) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    close(fd);
    return done;
}

// A tmpfs of 256 KiB at a fresh folder, with "nobody"'s ids; gone with the object.
class SmallDisk : public ::testing::Test {
public:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a tmpfs and to act as nobody";
        const passwd* nobody = getpwnam("nobody");
        if (!nobody) GTEST_SKIP() << "no user nobody";
        uid_ = nobody->pw_uid;
        gid_ = nobody->pw_gid;
        char tmpl[] = "/tmp/tavrik-faults-XXXXXX";
        if (!mkdtemp(tmpl)) GTEST_SKIP() << "no temporary folder";
        root_ = tmpl;
        if (mount("tmpfs", root_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0755") != 0) {
            rmdir(root_.c_str());
            root_.clear();
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        }
        folder_ = root_ + "/w";
        mkdir(folder_.c_str(), 0755);
        ASSERT_EQ(chown(folder_.c_str(), uid_, gid_), 0);
    }

    void TearDown() override {
        if (root_.empty()) return;
        for (const auto& path : immutable_) setImmutable(path, false);
        umount2(root_.c_str(), MNT_DETACH);
        rmdir(root_.c_str());
    }

    // A file of nobody's with the given text.
    std::string file(const std::string& folder, const std::string& name, const std::string& text) {
        std::string path = folder + "/" + name;
        spit(path, text);
        EXPECT_EQ(chown(path.c_str(), uid_, gid_), 0);
        return path;
    }

    // Takes every free block of the disk.
    void fill() {
        std::ofstream out(root_ + "/filler", std::ios::binary);
        std::string block(4096, 'f');
        while (out.write(block.data(), static_cast<std::streamsize>(block.size())) && out.flush()) {
        }
    }

    Outcome asNobody(const std::function<common::Status()>& job) { return inChild(job, uid_, gid_); }

    std::string root_, folder_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    std::vector<std::string> immutable_;
};

TEST_F(SmallDisk, AFailedReplacementLeavesTheOldFileAndNoTemporary) {
    const std::string oldText = "{\"old\":true}";
    const std::string newText(64 * 1024, 'n');  // more than a full disk has left
    struct Case {
        const char* name;
        std::function<std::string(SmallDisk&)> stage;  // returns the folder the target is in
        const char* reason;
    };
    const Case cases[] = {
        {"hard-linked target on a full disk",
         [&](SmallDisk& t) {
             t.file(t.folder_, "board.json", oldText);
             EXPECT_EQ(link((t.folder_ + "/board.json").c_str(), (t.folder_ + "/copy.json").c_str()), 0);
             t.fill();
             return t.folder_;
         },
         "No space left"},
        {"writable file in a folder that is not",
         [&](SmallDisk& t) {
             std::string locked = t.root_ + "/locked";
             mkdir(locked.c_str(), 0755);  // root's
             t.file(locked, "board.json", oldText);
             return locked;
         },
         "cannot create a temporary file in"},
        {"read-only file",
         [&](SmallDisk& t) {
             chmod(t.file(t.folder_, "board.json", oldText).c_str(), 0444);
             return t.folder_;
         },
         "Permission denied"},
        {"immutable file",
         [&](SmallDisk& t) {
             std::string path = t.file(t.folder_, "board.json", oldText);
             if (!setImmutable(path, true)) return std::string();
             t.immutable_.push_back(path);
             return t.folder_;
         },
         "not permitted"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        std::string folder = c.stage(*this);
        if (folder.empty()) {
            std::cout << "[  SKIPPED ] " << c.name << ": this file system cannot make a file immutable\n";
            continue;
        }
        auto before = namesIn(folder);
        std::string target = folder + "/board.json";
        Outcome out = asNobody([&] { return files::replaceFile(target, bytesOf(newText)); });
        EXPECT_FALSE(out.ok);
        EXPECT_NE(out.error.find(c.reason), std::string::npos) << out.error;
        EXPECT_EQ(slurp(target), oldText);
        EXPECT_EQ(namesIn(folder), before);
        if (fs::exists(folder + "/copy.json")) {
            EXPECT_EQ(slurp(folder + "/copy.json"), oldText);
        }
    }
}

TEST_F(SmallDisk, ANewFileOnAFullDiskIsNotCreated) {
    fill();
    Outcome out = asNobody([&] { return files::replaceFile(folder_ + "/new.json", bytesOf(std::string(8192, 'n'))); });
    EXPECT_FALSE(out.ok);
    EXPECT_TRUE(namesIn(folder_).empty());
}

TEST_F(SmallDisk, AHardLinkIsReplacedByANewFileAndModesFollowTheRules) {
    chmod(file(folder_, "board.json", "old").c_str(), 0640);
    ASSERT_EQ(link((folder_ + "/board.json").c_str(), (folder_ + "/copy.json").c_str()), 0);
    ASSERT_TRUE(asNobody([&] { return files::replaceFile(folder_ + "/board.json", bytesOf("new")); }).ok);
    ASSERT_TRUE(asNobody([&] { return files::replaceFile(folder_ + "/fresh.json", bytesOf("new")); }).ok);
    ASSERT_TRUE(asNobody([&] {
                    return files::replaceFile(folder_ + "/secret.dat", bytesOf("s"), files::FileMode::Private);
                }).ok);
    EXPECT_EQ(slurp(folder_ + "/board.json"), "new");
    EXPECT_EQ(slurp(folder_ + "/copy.json"), "old");
    auto mode = [&](const char* name) {
        struct stat st {};
        stat((folder_ + "/" + name).c_str(), &st);
        return st.st_mode & 07777;
    };
    EXPECT_EQ(mode("board.json"), 0640u);
    EXPECT_EQ(mode("fresh.json"), 0644u);
    EXPECT_EQ(mode("secret.dat"), 0600u);
    EXPECT_EQ(temporariesIn(folder_), 0);
}

// A writer killed after its first piece, against a new name and an existing one.
class KilledWrite : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tavrik-killed-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        folder_ = tmpl;
    }
    void TearDown() override { fs::remove_all(folder_); }

    void killMidWrite(const std::string& target) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t pid = fork();
        if (pid == 0) {
            auto stream = files::ReplaceStream::open(target);
            if (!stream) _exit(1);
            std::string piece(1 << 20, 'p');
            (void)(*stream)->write(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
            if (write(ready[1], "r", 1) != 1) _exit(2);
            for (;;) pause();
        }
        close(ready[1]);
        char c = 0;
        ASSERT_EQ(read(ready[0], &c, 1), 1);
        close(ready[0]);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    std::string folder_;
};

TEST_F(KilledWrite, LeavesTheOldBytesAndATemporaryTheNextStartRemoves) {
    spit(folder_ + "/board.json", "old board");
    spit(folder_ + "/.notes.tavrik-abc", "a user's own file");  // not our form of name
    for (const char* name : {"board.json", "new.json"}) {
        SCOPED_TRACE(name);
        killMidWrite(folder_ + "/" + name);
        EXPECT_EQ(slurp(folder_ + "/board.json"), "old board");
        EXPECT_FALSE(fs::exists(folder_ + "/new.json"));
        EXPECT_EQ(temporariesIn(folder_), 1);

        // This process started before the writer: its file may still be in progress, and stays.
        EXPECT_EQ(files::sweepTemporaries(folder_), 0u);
        EXPECT_EQ(temporariesIn(folder_), 1);

        // A later process removes it (its start is known to the clock tick).
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Outcome swept = inChild([&]() -> common::Status {
            if (files::sweepTemporaries(folder_) != 1) return common::Error{common::Error::Kind::Other, "not swept"};
            return common::Ok{};
        });
        EXPECT_TRUE(swept.ok) << swept.error;
        EXPECT_EQ(namesIn(folder_), (std::vector<std::string>{".notes.tavrik-abc", "board.json"}));
    }
}

TEST_F(KilledWrite, TheNextSaveIntoTheFolderRemovesAnOrphanButNotAWriteInProgress) {
    killMidWrite(folder_ + "/new.json");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Outcome saved = inChild([&]() -> common::Status {
        auto live = files::ReplaceStream::open(folder_ + "/slow.json");  // this process's own, in progress
        if (!live) return live.error();
        auto second = files::replaceFile(folder_ + "/other.json", bytesOf("x"));
        if (!second) return second;
        if (files::sweepTemporaries(folder_) != 0) return common::Error{common::Error::Kind::Other, "live one swept"};
        return (*live)->commit();
    });
    EXPECT_TRUE(saved.ok) << saved.error;
    EXPECT_EQ(namesIn(folder_), (std::vector<std::string>{"other.json", "slow.json"}));
}

TEST(TemporaryName, HasOneRecognisableForm) {
    EXPECT_TRUE(files::isTemporaryName(".board.json.tavrik-a1B2c3"));
    EXPECT_TRUE(files::isTemporaryName(".x.tavrik-AAAAAA"));
    for (const char* other : {"board.json", ".tavrik-a1B2c3", "..tavrik-abcdef", ".b.tavrik-abc", ".b.tavrik-abcdefg",
                              "b.tavrik-abcdef", ".b.tavrik-abc.ef", ".goutputstream-ABCDEF"})
        EXPECT_FALSE(files::isTemporaryName(other)) << other;
}

}  // namespace
