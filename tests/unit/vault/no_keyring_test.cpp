// SPDX-License-Identifier: GPL-3.0-or-later
// The real libsecret keychain where no Secret Service answers. Each case runs in a child process:
// GLib keeps the session bus it found for the life of a process.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "vault/secret_keychain.h"
#include "vault_fixture.h"

namespace {

// Stores a secret through a vault on the real keychain; exits 0 when it went to the file alone.
[[noreturn]] void storeWithoutKeyring(std::chrono::milliseconds limit) {
    vaulttest::VaultFixture f;
    auto keychain = std::make_shared<vault::SecretKeychain>(vault::kVaultService, limit);
    vault::Vault v(keychain, f.file(), [&](const std::string& line) { f.logs.push_back(line); });
    bool ok = v.set("openai", "sk-live-0123456789");
    bool fileHasIt = f.file().load().items.count("openai") == 1;
    bool logged = f.logs.size() == 1 && f.logs[0].rfind("[Vault] keychain add failed: ", 0) == 0 &&
                  f.logs[0].find("sk-live") == std::string::npos;
    // Once the keychain has not answered, later calls give up at once.
    bool readable = v.get("openai") == "sk-live-0123456789";
    bool listed = v.allKeys() == std::vector<std::string>{"openai"};
    std::fprintf(stderr, "ok=%d backend=%s file=%d logged=%d read=%d listed=%d log=%s\n", ok, v.backend().c_str(),
                 fileHasIt, logged, readable, listed, f.logs.empty() ? "" : f.logs[0].c_str());
    std::_Exit(ok && v.backend() == "file" && fileHasIt && logged && readable && listed ? 0 : 1);
}

class NoKeyring : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(NoKeyring, WithoutASessionBusSetStoresToTheFile) {
    EXPECT_EXIT(
        {
            setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tavrik-no-bus", 1);
            storeWithoutKeyring(std::chrono::milliseconds(2500));
        },
        ::testing::ExitedWithCode(0), "backend=file");
}

// A session bus at `path` that accepts connections and never says a word; its listening socket.
int silentBus(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0) std::_Exit(2);
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);
    return fd;
}

// A bus that accepts the connection and never says a word must not hold the caller.
TEST_F(NoKeyring, SilentServiceIsBoundedAndFallsBackToTheFile) {
    EXPECT_EXIT(
        {
            testsupport::TempDir dir;
            silentBus(dir.file("silent-bus"));
            storeWithoutKeyring(std::chrono::milliseconds(300));
        },
        ::testing::ExitedWithCode(0), "backend=file");
}

// At shutdown the keychain goes offline: a call waiting on a silent service ends after the grace,
// not after its own limit, and later calls fail without asking.
TEST_F(NoKeyring, GoingOfflineEndsAWaitingCallAfterTheGrace) {
    EXPECT_EXIT(
        {
            using Clock = std::chrono::steady_clock;
            testsupport::TempDir dir;
            int bus = silentBus(dir.file("silent-bus"));
            auto keychain = std::make_shared<vault::SecretKeychain>(vault::kVaultService, std::chrono::seconds(60));
            std::optional<vault::KeychainError> added;
            std::thread caller([&] { added = keychain->add("openai", "sk-live-0123456789"); });
            // The call is in flight once the library has connected to the bus.
            int connection = accept(bus, nullptr, nullptr);
            auto asked = Clock::now();
            keychain->goOffline(std::chrono::milliseconds(100));
            caller.join();
            auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked).count();
            auto before = Clock::now();
            bool laterFails = keychain->remove("openai").has_value() && !keychain->read("openai");
            auto later = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count();
            std::fprintf(stderr, "connected=%d failed=%d waited=%lld later=%d in %lld ms\n", connection >= 0,
                         added.has_value(), static_cast<long long>(waited), laterFails, static_cast<long long>(later));
            // Bounds far below the call's own minute, generous for a loaded machine.
            std::_Exit(connection >= 0 && added && waited < 5000 && laterFails && later < 1000 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "failed=1");
}

}  // namespace
