// SPDX-License-Identifier: GPL-3.0-or-later
// The page's web process killed from outside, as a crash does it: the user is told, "Reload" brings
// the board back from its recovery copy, and a crash again soon after is not reloaded on its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/compose_quit.h"
#include "gtk/webpolicy/alert_probe.h"
#include "menu/l10n.h"
#include "support/gtk_support.h"
#include "support/real_page.h"

namespace {

std::string english(const std::string& key) { return menu::L10N::t(key, "en"); }

// The web processes started under this one (possibly through a sandbox launcher).
std::vector<pid_t> webProcesses() {
    std::map<pid_t, pid_t> parent;
    std::map<pid_t, std::string> name;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        pid_t pid = std::atoi(entry.path().filename().c_str());
        if (pid <= 0) continue;
        std::ifstream in(entry.path() / "stat");
        std::string line;
        if (!std::getline(in, line)) continue;
        auto open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        name[pid] = line.substr(open + 1, close - open - 1);
        std::istringstream rest(line.substr(close + 2));
        char state;
        pid_t ppid;
        rest >> state >> ppid;
        parent[pid] = ppid;
    }
    std::vector<pid_t> found;
    for (const auto& [pid, n] : name) {
        if (n.rfind("WebKitWebProces", 0) != 0) continue;
        for (pid_t p = parent[pid]; p > 1; p = parent[p])
            if (p == getpid()) {
                found.push_back(pid);
                break;
            }
    }
    return found;
}

void killWebProcesses() {
    auto pids = webProcesses();
    ASSERT_FALSE(pids.empty()) << "no web process found";
    for (pid_t pid : pids) kill(pid, SIGKILL);
}

class PageCrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testsupport::loadRealPage(shell));
        app::installQuitConfirmation(shell.app(), {english, [this] { ++terminated; }, {}});
    }
    GtkDialog* waitForCrashAlert() {
        GtkDialog* alert = alertprobe::waitFor();
        if (!alert) return nullptr;
        EXPECT_EQ(alertprobe::text(alert), "The board stopped unexpectedly");
        EXPECT_EQ(alertprobe::buttonLabels(alert), (std::vector<std::string>{"Reload", "Quit"}));
        return alert;
    }
    bool boardBack() {
        return shell.waitFor("window.board && board.doc().items.map((i) => i.text).join() === 'keep me safe'");
    }

    testsupport::Shell shell{""};
    int terminated = 0;
};

TEST_F(PageCrashTest, AKilledPageIsReportedAndReloadBringsTheBoardBack) {
    shell.eval("board.addNote('keep me safe'); 0");
    shell.eval("window.__stored = false; recovery.flush().then(() => { window.__stored = true; }); 0");
    ASSERT_TRUE(shell.waitFor("window.__stored"));

    killWebProcesses();
    GtkDialog* alert = waitForCrashAlert();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 0);
    ASSERT_TRUE(alertprobe::waitGone());
    ASSERT_TRUE(boardBack());
    EXPECT_EQ(shell.eval("String(__quitHasContentU())"), "true") << "the recovered board is unsaved work";

    // Again within a minute: asked, and nothing is loaded until the user says so.
    killWebProcesses();
    alert = waitForCrashAlert();
    ASSERT_TRUE(alert);
    testsupport::runUntil([] { return false; }, std::chrono::milliseconds(1500));
    EXPECT_TRUE(webProcesses().empty()) << "reloaded on its own";
    alertprobe::press(alert, 0);
    ASSERT_TRUE(alertprobe::waitGone());
    ASSERT_TRUE(boardBack());

    // "Quit" quits; the dead page holds nothing up.
    killWebProcesses();
    alert = waitForCrashAlert();
    ASSERT_TRUE(alert);
    alertprobe::press(alert, 1);
    EXPECT_TRUE(testsupport::runUntil([this] { return terminated > 0; }, std::chrono::seconds(10)));
    EXPECT_EQ(terminated, 1);
}

}  // namespace
