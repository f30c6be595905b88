// SPDX-License-Identifier: GPL-3.0-or-later
// Time of the vault's set and get with 100 stored secrets: through the real keyring (when a
// Secret Service answers) and through the vault file alone. Prints a table.
//   Keyring row: bash tests/keyring/run.sh build/bench/bench_vault
#include "vault/vault.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "vault/secret_keychain.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSecrets = 100;

// The keychain of a machine without a Secret Service: every call fails at once.
class NoKeychain final : public vault::Keychain {
public:
    std::optional<vault::KeychainError> add(const std::string&, const std::string&) override {
        return vault::KeychainError{1, "no keychain"};
    }
    std::optional<vault::KeychainError> remove(const std::string&) override {
        return vault::KeychainError{1, "no keychain"};
    }
    std::optional<std::string> read(const std::string&) override { return std::nullopt; }
    std::vector<std::string> accounts() override { return {}; }
    void goOffline(std::chrono::milliseconds) override {}
};

struct Stats {
    double mean, p50, p95, max;
};

Stats stats(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double m : ms) sum += m;
    return {sum / ms.size(), ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back()};
}

std::string keyId(int i) { return "bench-" + std::to_string(i); }
std::string secret(int i, int round) {
    return "sk-bench-" + std::to_string(round) + "-" + std::string(40, 'a' + i % 26);
}

void printRow(const char* store, const char* op, const Stats& s) {
    std::printf("| %-30s | %-26s | %5d | %8.3f | %8.3f | %8.3f | %8.3f |\n", store, op, kSecrets, s.mean, s.p50, s.p95,
                s.max);
}

void measure(const char* name, std::shared_ptr<vault::Keychain> keychain, const std::string& dir) {
    std::filesystem::remove_all(dir + "/TAVRIK");
    vault::Vault v(keychain, vault::SealedFile(dir + "/TAVRIK/vault.dat"), [](const std::string&) {});
    for (int i = 0; i < kSecrets; ++i) v.set(keyId(i), secret(i, 0));  // 100 stored before timing

    std::vector<double> sets, gets;
    for (int i = 0; i < kSecrets; ++i) {
        auto t0 = Clock::now();
        v.set(keyId(i), secret(i, 1));
        sets.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    for (int i = 0; i < kSecrets; ++i) {
        auto t0 = Clock::now();
        auto value = v.get(keyId(i));
        gets.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (value != secret(i, 1)) std::fprintf(stderr, "wrong value for %s\n", keyId(i).c_str());
    }
    auto t0 = Clock::now();
    auto keys = v.allKeys();
    double listMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();

    printRow(name, "set (replace)", stats(sets));
    printRow(name, "get", stats(gets));
    printRow(name, "allKeys (once)", {listMs, listMs, listMs, listMs});
    for (int i = 0; i < kSecrets; ++i) v.remove(keyId(i));
}

}  // namespace

int main() {
    g_autofree char* tmp = g_dir_make_tmp("tavrik-bench-vault-XXXXXX", nullptr);
    const std::string dir = tmp;

    auto keyring = std::make_shared<vault::SecretKeychain>();
    bool reachable = !keyring->add("bench-probe", "probe");
    keyring->remove("bench-probe");

    std::printf("Vault set/get with %d stored secrets (times in ms per call; file writes are synced)\n\n", kSecrets);
    std::printf("| %-30s | %-26s | %5s | %8s | %8s | %8s | %8s |\n", "store", "operation", "calls", "mean", "p50",
                "p95", "max");
    std::printf(
        "|--------------------------------|----------------------------|-------|----------|----------|----------|------"
        "----|\n");
    if (reachable)
        measure("keyring (Secret Service)+file", keyring, dir);
    else
        std::printf("| %-30s | %-26s | %5s | %8s | %8s | %8s | %8s |\n", "keyring (Secret Service)",
                    "unreachable: not measured", "-", "-", "-", "-", "-");
    measure("file only (no keychain)", std::make_shared<NoKeychain>(), dir);
    std::filesystem::remove_all(dir);
    if (!reachable) std::printf("\nRun under tests/keyring/run.sh for the keyring rows.\n");
    return 0;
}
