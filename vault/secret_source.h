// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vault {

// What the request proxy needs of the vault: a secret by key id, with the origins it may be sent
// to. Called on the main thread; the answer comes later (never inside get()), on the main thread,
// after every vault command the page issued before it.
class SecretSource {
public:
    struct Key {
        std::optional<std::string> secret;
        // Where the key may go (key_origins.h); empty only when there is no secret or the request
        // sends none.
        std::vector<std::string> origins;
    };
    using Answer = std::function<void(Key key)>;
    using Ticket = std::uint64_t;

    virtual ~SecretSource() = default;
    // `origin` is where the request goes, "" when it sends no secret. A stored secret bound nowhere
    // yet is bound to `origin` in the same step, so two requests can never both bind it.
    virtual Ticket get(const std::string& keyId, const std::string& origin, Answer answer) = 0;
    // Drops the answer of a read still pending; the keychain is not asked if it has not been yet.
    virtual void cancel(Ticket ticket) = 0;
    // Adds `origin` to the key's origins, after every read issued before it.
    virtual void allow(const std::string& keyId, const std::string& origin) = 0;
};

}  // namespace vault
