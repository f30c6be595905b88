// The real libsecret keychain where no Secret Service answers. Each case runs in a child process:
// GLib keeps the session bus it found for the life of a process.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

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

// A bus that accepts the connection and never says a word must not hold the caller.
TEST_F(NoKeyring, SilentServiceIsBoundedAndFallsBackToTheFile) {
    EXPECT_EXIT(
        {
            testsupport::TempDir dir;
            const std::string path = dir.file("silent-bus");
            int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
            if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0)
                std::_Exit(2);
            setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);
            storeWithoutKeyring(std::chrono::milliseconds(300));
        },
        ::testing::ExitedWithCode(0), "backend=file");
}

}  // namespace
