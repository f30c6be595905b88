// SPDX-License-Identifier: GPL-3.0-or-later
// The real application, started as a user would, ended by SIGTERM while it renders a slow PDF or
// waits on many requests: it must end promptly and take its render helpers with it.
#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/base64.h"
#include "support/app_process.h"
#include "support/gtk_support.h"
#include "support/pdf_objects.h"
#include "support/stream_test_server.h"

namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A small PDF whose every page takes a while to draw: each page draws a form that draws another
// form ten times, which draws a full-page stroke ten times.
std::string slowPdf(int pages) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
    auto stream = [](const std::string& dict, const std::string& body) {
        return "<< " + dict + " /Length " + std::to_string(body.size()) + " >>\nstream\n" + body + "\nendstream";
    };
    const std::string form = "/Type /XObject /Subtype /Form /BBox [0 0 612 792]";
    objects.push_back(stream(form, "0.2 w 0 0 m 612 792 l 612 0 l 0 792 l S"));
    for (int level = 0; level < 2; ++level) {
        std::string body;
        for (int i = 0; i < 10; ++i)
            body += "q 1 0 0 1 " + std::to_string(i % 7) + " " + std::to_string(i % 5) + " cm /X Do Q ";
        objects.push_back(
            stream(form + " /Resources << /XObject << /X " + std::to_string(objects.size()) + " 0 R >> >>", body));
    }
    std::string top = std::to_string(objects.size()) + " 0 R";
    std::string kids;
    for (int p = 0; p < pages; ++p) {
        objects.push_back(stream("", "/X Do"));
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /XObject << /X " + top +
                          " >> >> /Contents " + std::to_string(objects.size()) + " 0 R >>");
        kids += std::to_string(objects.size()) + " 0 R ";
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
    return testsupport::pdfFromObjects(objects);
}

// The processes whose parent is `parent` and whose command is `name`.
std::set<pid_t> childrenNamed(pid_t parent, const std::string& name) {
    std::set<pid_t> out;
    std::error_code ec;
    for (auto& entry : fs::directory_iterator("/proc", ec)) {
        std::string pid = entry.path().filename();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        auto open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && line.substr(open + 1, close - open - 1) == name) out.insert(std::stoi(pid));
    }
    return out;
}

// Running, as opposed to gone or a zombie waiting for whoever adopted it.
bool running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

TEST(Shutdown, SigtermDuringASlowRenderEndsPromptlyWithNoHelperLeft) {
    testsupport::TempDir resources, home;
    std::string pdf = slowPdf(40);
    std::string dataUrl = "data:application/pdf;base64," + common::base64::encode(common::toBytes(pdf));
    // Nothing unsaved: quitting is decided as soon as the page has answered.
    resources.write("html/index.html", R"(<!doctype html><meta charset="utf-8"><title>slow</title><script>
window.__quitHasContentU = () => false;
window.__pdfPageU = (reqId, i) => { document.title = 'page ' + i; };
window.webkit.messageHandlers.canvasBridge.postMessage(
  {action: 'renderPDF', name: 'slow.pdf', reqId: 'r1', dataUrl: ')" +
                                           dataUrl + R"('});
</script>)");
    for (const char* sub : {"config", "data", "runtime"}) fs::create_directories(home.file(sub));
    fs::permissions(home.file("runtime"), fs::perms::owner_all, fs::perm_options::replace);

    std::string binary = TAVRIK_BINARY;
    std::string helper = fs::path(binary).parent_path() / "tavrik-render";
    gchar** env = g_get_environ();
    for (auto [key, value] : std::vector<std::pair<const char*, std::string>>{
             {"XDG_CONFIG_HOME", home.file("config")},
             {"XDG_DATA_HOME", home.file("data")},
             {"XDG_RUNTIME_DIR", home.file("runtime")},
             {"TAVRIK_RENDER_HELPER", helper},
             // No session bus: registration and WebKit do not wait on a desktop portal.
             {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.file("no-bus")},
         })
        env = g_environ_setenv(env, key, value.c_str(), TRUE);
    std::string errPath = home.file("stderr");
    int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(errFd, 0);
    std::string resourcesDir = resources.path();
    const char* argv[] = {binary.c_str(), "--resources", resourcesDir.c_str(), nullptr};
    GPid pid = 0;
    g_autoptr(GError) error = nullptr;
    gboolean spawned =
        g_spawn_async_with_pipes_and_fds(nullptr, argv, env, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, -1, -1, errFd,
                                         nullptr, nullptr, 0, &pid, nullptr, nullptr, nullptr, &error);
    g_strfreev(env);
    close(errFd);
    ASSERT_TRUE(spawned) << (error ? error->message : "");

    std::set<pid_t> helpers;
    bool rendering = testsupport::runUntil(
        [&] {
            helpers = childrenNamed(pid, "tavrik-render");
            return !helpers.empty();
        },
        std::chrono::seconds(60));
    int status = 0;
    if (!rendering) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "no render helper started";
    }

    auto asked = Clock::now();
    kill(pid, SIGTERM);
    bool ended = testsupport::runUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(30));
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    std::printf("SIGTERM to exit while rendering: %lld ms\n", static_cast<long long>(took.count()));
    ASSERT_TRUE(ended);
    // Generous, for a loaded machine; the figure above is what it took.
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_TRUE(WIFEXITED(status)) << status;
    for (pid_t h : helpers) EXPECT_FALSE(running(h)) << "helper " << h << " outlived the application";

    std::ifstream errFile(errPath);
    std::string errText((std::istreambuf_iterator<char>(errFile)), std::istreambuf_iterator<char>());
    EXPECT_EQ(errText.find("CRITICAL"), std::string::npos) << errText;
}

// A page with 200 proxied requests in flight, each with a credential from the vault, to a loopback
// server that sends the start of every response and never the rest: quitting ends promptly and
// cleanly, with no answer reaching what has already gone.
TEST(Shutdown, SigtermWith200RequestsInFlightEndsPromptly) {
    constexpr int kRequests = 200;
    testsupport::StreamTestServer server;
    std::atomic<int> inFlight{0};
    server.handle([&](testsupport::StreamTestServer::Exchange& x) {
        if (!x.sendHead(200, {"Content-Type: application/json"}) || !x.send("{\"partial\":")) return;
        ++inFlight;
        x.waitForClose(std::chrono::minutes(2));
    });
    testsupport::TempDir resources, home;
    resources.write("html/index.html", R"(<!doctype html><meta charset="utf-8"><title>busy</title><script>
window.__quitHasContentU = () => false;
window.__netReply = (r) => { document.title = 'answered ' + r.reqId; };
for (let i = 0; i < )" + std::to_string(kRequests) +
                                           R"(; ++i)
  window.webkit.messageHandlers.canvasBridge.postMessage({action: 'netRequest', reqId: 'r' + i,
    url: ')" + server.url("/v1/chat") + R"(', body: '{"q":1}', headers: {'Content-Type': 'application/json'},
    auth: {keyId: 'openai', scheme: 'bearer'}});
</script>)");
    testsupport::AppProcess app(resources, home,
                                {// No session bus: registration and WebKit do not wait on a desktop
                                 // portal, and the keychain fails at once.
                                 "DBUS_SESSION_BUS_ADDRESS=unix:path=" + home.file("no-bus")});
    ASSERT_TRUE(app.started());
    ASSERT_TRUE(testsupport::runUntil([&] { return inFlight == kRequests || app.exited(); }, std::chrono::seconds(60)))
        << inFlight << " requests reached the server";
    ASSERT_FALSE(app.exited()) << app.errors();

    auto took = app.endWith(SIGTERM, std::chrono::seconds(30));
    ASSERT_TRUE(took) << "still running 30 s after SIGTERM";
    std::printf("SIGTERM to exit with %d requests in flight: %lld ms\n", kRequests,
                static_cast<long long>(took->count()));
    // Generous, for a loaded machine; the figure above is what it took.
    EXPECT_LT(*took, std::chrono::seconds(5));
    EXPECT_TRUE(app.succeeded());
    std::string errors = app.errors();
    EXPECT_EQ(errors.find("CRITICAL"), std::string::npos) << errors;
}

}  // namespace
