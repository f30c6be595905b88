// SPDX-License-Identifier: GPL-3.0-or-later
// `tavrik FILE…` as a file manager's "Open With" runs it: the files open in the page once it has
// loaded, and a second start hands its files to the window already open.
#include <gtest/gtest.h>
#include <signal.h>

#include <vector>

#include "support/gtk_support.h"

using namespace std::chrono_literals;

namespace {

// Shows in the window title everything the shell opens in it, in order.
const char* kPage = R"(<!doctype html><meta charset="utf-8"><script>
const events = [];
const show = () => window.webkit.messageHandlers.canvasBridge.postMessage(
  {action: 'setTitle', title: 'opened ' + events.join(',')});
window.__quitHasContentU = () => false;
window.__restoreNative = (text) => { events.push(JSON.parse(text).tag); show(); };
window.__paperFromNative = (paper) => { events.push('pdf:' + paper.name); show(); };
window.__openFailed = (name, reason) => { events.push(reason + ':' + name); show(); };
show();
</script>)";

struct Process {
    GPid pid = 0;
    bool exited = false;
    int status = 0;
};

bool start(const std::vector<std::string>& args, const std::string& cwd, Process& p) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (!g_spawn_async(cwd.c_str(), argv.data(), nullptr, GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                       nullptr, nullptr, &p.pid, nullptr))
        return false;
    g_child_watch_add(
        p.pid,
        +[](GPid pid, gint status, gpointer data) noexcept {
            g_spawn_close_pid(pid);
            auto* p = static_cast<Process*>(data);
            p->status = status;
            p->exited = true;
        },
        &p);
    return true;
}

// Waits for a window with exactly this title, on any client of the display.
bool waitForTitle(const std::string& title) {
    Process search;
    return start({"timeout", "30", "xdotool", "search", "--sync", "--name", "^" + title + "$"}, "/", search) &&
           testsupport::runUntil([&] { return search.exited; }, 40s) &&
           g_spawn_check_wait_status(search.status, nullptr);
}

TEST(OpenFromOutside, FilesOpenAtStartAndInTheRunningWindow) {
    testsupport::TempDir resources, docs;
    resources.write("html/index.html", kPage);
    docs.write("a.json", R"({"tag": "a", "items": []})");
    docs.write("b.json", R"({"tag": "b", "items": []})");
    docs.write("t.pdf", "%PDF-1.4\n");
    docs.write("folder/x", "");
    docs.write("list.json", "[1]");

    // Relative paths, as a shell passes them, from the documents' folder.
    Process first;
    ASSERT_TRUE(start({TAVRIK_BINARY, "--resources", resources.path(), "a.json"}, docs.path(), first));
    EXPECT_TRUE(waitForTitle("opened a"));

    Process second;
    ASSERT_TRUE(start({TAVRIK_BINARY, "b.json", "t.pdf", "gone.json", "folder", "list.json"}, docs.path(), second));
    ASSERT_TRUE(testsupport::runUntil([&] { return second.exited; }, 30s)) << "the second start hands over and ends";
    EXPECT_TRUE(g_spawn_check_wait_status(second.status, nullptr));
    EXPECT_TRUE(waitForTitle("opened a,b,pdf:t.pdf,missing:gone.json,directory:folder,notBoard:list.json"));

    kill(first.pid, SIGTERM);  // asks like Quit; the page has nothing unsaved
    EXPECT_TRUE(testsupport::runUntil([&] { return first.exited; }, 30s));
    if (!first.exited) kill(first.pid, SIGKILL);
}

}  // namespace
