// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>

#include "common/main_queue.h"
#include "common/workers.h"
#include "vault/secret_source.h"
#include "vault/vault.h"

namespace vault {

// The vault on a thread of its own, so the main thread never waits on the keychain. Every job runs
// there one at a time, in the order it was issued; its completion runs on the main thread in the
// same order. The page's vault commands and the proxy's credential reads share this one queue, so
// a read issued after a write sees it.
class VaultService final : public SecretSource, public std::enable_shared_from_this<VaultService> {
public:
    VaultService(std::shared_ptr<Vault> vault, common::MainQueue& mainQueue);
    // Unless shutdown() ran, finishes the queued jobs (each bounded by the keychain's limits).
    ~VaultService() override;

    // job(Vault&) runs on the vault's thread; done(result) on the main thread, later. Dropped after
    // shutdown().
    template <class Job, class Done>
    void run(Job job, Done done) {
        if (thread_)
            thread_->run([vault = vault_, job = std::move(job)]() mutable { return job(*vault); }, std::move(done));
    }

    // Ends the vault's thread without losing a write the page made: the keychain goes offline (a
    // call in flight is given up after `grace`), every queued job still runs, against the file and
    // the journal alone, and the thread is joined. A key the page stored is then in the file, and
    // reaches the keychain at the next start. Main thread; idempotent.
    void shutdown(std::chrono::milliseconds grace);

    Ticket get(const std::string& keyId, const std::string& origin, Answer answer) override;
    void cancel(Ticket ticket) override;
    void allow(const std::string& keyId, const std::string& origin) override;

private:
    std::shared_ptr<Vault> vault_;
    std::optional<common::Workers> thread_;  // one thread: jobs keep their order
    Ticket nextTicket_ = 0;
    // Main thread only: the reads still waiting, each with the flag that cancels it.
    std::map<Ticket, std::shared_ptr<std::atomic<bool>>> pending_;
};

}  // namespace vault
