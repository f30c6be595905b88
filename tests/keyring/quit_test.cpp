// SPDX-License-Identifier: GPL-3.0-or-later
// The real application quitting while the keyring does not answer (its daemon paused): it ends
// promptly, and the key the page stored at the last moment is in the keyring after the next start.
// Needs a display as well as tests/keyring/run.sh's session (the test command gives both).
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>

#include "support/app_process.h"
#include "support/gtk_support.h"
#include "support/secret_service.h"
#include "vault/ossl_sealed_file.h"

namespace {

// What another program sees: secret-tool's answer, or nothing when it finds no item.
std::optional<std::string> lookup(const std::string& account) {
    std::string command = "secret-tool lookup service com.brantel.quillmarsh.vault account " + account + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[256];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    if (pclose(pipe) != 0) return std::nullopt;
    return out;
}

// Pauses a process for as long as it lives.
class Paused {
public:
    explicit Paused(pid_t pid) : pid_(pid) { kill(pid_, SIGSTOP); }
    ~Paused() { resume(); }
    void resume() {
        if (pid_ > 0) kill(pid_, SIGCONT);
        pid_ = 0;
    }

private:
    pid_t pid_;
};

TEST(QuitWithAStalledKeyring, EndsPromptlyAndTheNextStartHandsTheKeyToTheKeyring) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under a display (xvfb-run)";
    const std::string early = "sk-early-0123456789", late = "sk-late-9876543210";
    testsupport::TempDir resources, home;
    // The early key shows the page is running; the late one is stored as the page answers the
    // quit, so it is still queued when quitting is decided.
    resources.write("html/index.html", R"(<!doctype html><meta charset="utf-8"><title>keys</title><script>
const post = (m) => window.webkit.messageHandlers.canvasBridge.postMessage(m);
window.__vaultReply = () => {};
post({action: 'vaultSet', reqId: 'e', keyId: 'quit-early', value: ')" +
                                           early + R"('});
window.__quitHasContentU = () => {
  post({action: 'vaultSet', reqId: 'l', keyId: 'quit-late', value: ')" +
                                           late + R"('});
  return false;
};
</script>)");
    pid_t daemon = testsupport::secretServicePid();
    ASSERT_GT(daemon, 0);
    {
        testsupport::AppProcess app(resources, home);
        ASSERT_TRUE(app.started());
        ASSERT_TRUE(testsupport::runUntil([&] { return lookup("quit-early") == early || app.exited(); },
                                          std::chrono::seconds(60)))
            << app.errors();
        ASSERT_FALSE(app.exited()) << app.errors();

        Paused stalled(daemon);
        auto took = app.endWith(SIGTERM, std::chrono::seconds(30));
        ASSERT_TRUE(took) << "still running 30 s after SIGTERM";
        std::printf("SIGTERM to exit with the keyring stalled: %lld ms\n", static_cast<long long>(took->count()));
        // Generous, for a loaded machine; the figure above is what it took.
        EXPECT_LT(*took, std::chrono::seconds(5));
        EXPECT_TRUE(app.succeeded());
        EXPECT_EQ(app.errors().find("CRITICAL"), std::string::npos) << app.errors();
    }
    // The late key is in the vault file, and marked for the keyring.
    vault::SealedFile file(home.file("data/TAVRIK/vault.dat"));
    EXPECT_EQ(file.load().items["quit-late"], late);
    EXPECT_EQ(file.sibling(".pending").load().items["quit-late"], "set");
    EXPECT_EQ(lookup("quit-late"), std::nullopt) << "the keyring never answered";

    // The next start, with the keyring answering: the key reaches it without the page asking.
    resources.write("html/index.html", R"(<!doctype html><meta charset="utf-8"><title>again</title><script>
window.__quitHasContentU = () => false;
</script>)");
    testsupport::AppProcess again(resources, home);
    ASSERT_TRUE(again.started());
    EXPECT_TRUE(
        testsupport::runUntil([&] { return lookup("quit-late") == late || again.exited(); }, std::chrono::seconds(60)))
        << again.errors();
    EXPECT_TRUE(again.endWith(SIGTERM, std::chrono::seconds(30)));
    EXPECT_TRUE(again.succeeded());
    EXPECT_FALSE(std::filesystem::exists(file.sibling(".pending").path())) << "the journal is played and gone";
    for (const char* account : {"quit-early", "quit-late"}) {
        [[maybe_unused]] int cleared = std::system(
            ("secret-tool clear service com.brantel.quillmarsh.vault account " + std::string(account)).c_str());
    }
}

}  // namespace
