// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a stored key may go to an origin: yes when the key is bound to it; otherwise the user is
// asked (KeyQuestion), one question at a time, and requests for the same key and origin share one
// answer. Always allow binds the key to the origin in the vault; Don't allow refuses that pair for
// the rest of the run, so a page that keeps trying cannot wear the user down with questions.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "net/key_question.h"
#include "vault/secret_source.h"

namespace net {

class KeyGate final : public std::enable_shared_from_this<KeyGate> {
public:
    using Ticket = std::uint64_t;  // never 0
    using Answer = std::function<void(bool send)>;

    // Without a question nothing can be asked: a key goes only where it is bound. `secrets` keeps
    // the origins an Always allow adds.
    KeyGate(std::shared_ptr<KeyQuestion> question, KeyTranslate t, std::shared_ptr<vault::SecretSource> secrets);

    // Main thread. Answers at once (inside check) when nothing needs asking, else once the user has
    // answered. `boundTo` is the key's origins as the vault gave them.
    Ticket check(const std::string& keyId, const std::string& origin, const std::vector<std::string>& boundTo,
                 Answer answer);
    // Drops a check still waiting; a question nobody waits for any more is closed.
    void cancel(Ticket ticket);

private:
    using Pair = std::pair<std::string, std::string>;  // key id, origin
    struct Question {
        std::uint64_t id = 0;
        Pair pair;
        std::vector<std::string> boundTo;
        std::vector<std::pair<Ticket, Answer>> waiting;
    };

    void showNext();
    void answered(std::uint64_t id, KeyAnswer answer);

    std::shared_ptr<KeyQuestion> question_;
    KeyTranslate t_;
    std::shared_ptr<vault::SecretSource> secrets_;
    std::set<Pair> allowed_;  // Always allow in this run, before the vault's own answer says so
    std::set<Pair> refused_;
    std::vector<Question> queue_;  // the first is shown when `showing_`
    bool showing_ = false;
    Ticket nextTicket_ = 1;
    std::uint64_t nextQuestion_ = 1;
};

}  // namespace net
