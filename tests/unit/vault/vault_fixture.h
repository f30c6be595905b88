// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A vault on a temporary folder with its own machine id, over an in-memory keychain.
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fakes.h"
#include "support/gtk_support.h"
#include "vault/vault.h"
#include "vault/vault_service.h"

namespace vaulttest {

// The keychain as a map; it refuses adds when told to, and can hold raw item data. Told to stall,
// it answers nothing until it goes offline, as a Secret Service that never answers.
class MemoryKeychain final : public vault::Keychain {
public:
    std::map<std::string, std::string> items;
    std::optional<vault::KeychainError> refuseAdds;

    void stall() {
        std::lock_guard lock(mutex_);
        stalling_ = true;
    }
    int stalledCalls() {
        std::lock_guard lock(mutex_);
        return stalledCalls_;
    }
    bool offline() {
        std::lock_guard lock(mutex_);
        return offline_;
    }
    void goOffline(std::chrono::milliseconds) override {
        std::lock_guard lock(mutex_);
        offline_ = true;
        wake_.notify_all();
    }

    std::optional<vault::KeychainError> add(const std::string& account, const std::string& secret) override {
        if (unanswered()) return vault::KeychainError{24, "timed out"};
        items.erase(account);
        if (refuseAdds) return refuseAdds;
        items[account] = secret;
        return std::nullopt;
    }
    // Refuses removes when told to (the store did not answer).
    std::optional<vault::KeychainError> refuseRemoves;
    std::optional<vault::KeychainError> remove(const std::string& account) override {
        if (unanswered()) return vault::KeychainError{24, "timed out"};
        if (refuseRemoves) return refuseRemoves;
        items.erase(account);
        return std::nullopt;
    }
    std::optional<std::string> read(const std::string& account) override {
        if (unanswered()) return std::nullopt;
        auto it = items.find(account);
        if (it == items.end()) return std::nullopt;
        return it->second;
    }
    std::vector<std::string> accounts() override {
        if (unanswered()) return {};
        std::vector<std::string> all;
        for (const auto& [account, secret] : items) all.push_back(account);
        return all;
    }

private:
    // True when the call fails: offline, or stalled until it went offline.
    bool unanswered() {
        std::unique_lock lock(mutex_);
        if (offline_) return true;
        if (!stalling_) return false;
        ++stalledCalls_;
        wake_.notify_all();
        wake_.wait(lock, [this] { return offline_; });
        return true;
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stalling_ = false;
    bool offline_ = false;
    int stalledCalls_ = 0;
};

// Runs the main queue until every job issued to the service so far has answered.
inline bool drain(vault::VaultService& service, fakes::ManualQueue& queue,
                  std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    bool done = false;
    service.run([](vault::Vault&) { return 0; }, [&done](int) { done = true; });
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done && std::chrono::steady_clock::now() < deadline) {
        if (queue.runAll() == 0) std::this_thread::yield();
    }
    return done;
}

struct VaultFixture {
    testsupport::TempDir dir;
    std::shared_ptr<MemoryKeychain> keychain = std::make_shared<MemoryKeychain>();
    std::vector<std::string> logs;

    VaultFixture() { setMachineId("0123456789abcdef0123456789abcdef"); }

    void setMachineId(const std::string& id) { dir.write("machine-id", id + "\n"); }
    std::string vaultPath() const { return dir.file("data/TAVRIK/vault.dat"); }
    vault::SealedFile file() const { return vault::SealedFile(vaultPath(), {dir.file("machine-id")}); }
    // A new vault, as a new process would create it.
    std::unique_ptr<vault::Vault> open() {
        return std::make_unique<vault::Vault>(keychain, file(),
                                              [this](const std::string& line) { logs.push_back(line); });
    }
};

}  // namespace vaulttest
