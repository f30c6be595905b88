// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vault {

// What the request proxy needs of the vault: a secret by key id, or nothing. Called on the main
// thread; the answer comes later (never inside get()), on the main thread, after every vault
// command the page issued before it.
class SecretSource {
public:
    using Answer = std::function<void(std::optional<std::string> secret)>;
    using Ticket = std::uint64_t;

    virtual ~SecretSource() = default;
    virtual Ticket get(const std::string& keyId, Answer answer) = 0;
    // Drops the answer of a read still pending; the keychain is not asked if it has not been yet.
    virtual void cancel(Ticket ticket) = 0;
};

}  // namespace vault
