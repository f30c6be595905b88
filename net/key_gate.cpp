// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/key_gate.h"

#include <algorithm>

namespace net {

KeyGate::KeyGate(std::shared_ptr<KeyQuestion> question, KeyTranslate t, std::shared_ptr<vault::SecretSource> secrets)
    : question_(std::move(question)), t_(std::move(t)), secrets_(std::move(secrets)) {}

KeyGate::Ticket KeyGate::check(const std::string& keyId, const std::string& origin,
                               const std::vector<std::string>& boundTo, Answer answer) {
    Ticket ticket = nextTicket_++;
    Pair pair{keyId, origin};
    if (std::find(boundTo.begin(), boundTo.end(), origin) != boundTo.end() || allowed_.count(pair)) {
        answer(true);
        return ticket;
    }
    if (refused_.count(pair) || !question_) {
        answer(false);
        return ticket;
    }
    auto same = std::find_if(queue_.begin(), queue_.end(), [&](const Question& q) { return q.pair == pair; });
    if (same == queue_.end()) {
        queue_.push_back(Question{nextQuestion_++, pair, boundTo, {}});
        same = queue_.end() - 1;
    }
    same->waiting.emplace_back(ticket, std::move(answer));
    if (!showing_) showNext();
    return ticket;
}

void KeyGate::showNext() {
    if (queue_.empty() || showing_) return;
    showing_ = true;
    const Question& q = queue_.front();
    question_->ask(keyQuestionText(t_, q.pair.first, q.pair.second, q.boundTo),
                   [weak = weak_from_this(), id = q.id](KeyAnswer answer) {
                       if (auto self = weak.lock()) self->answered(id, answer);
                   });
}

void KeyGate::answered(std::uint64_t id, KeyAnswer answer) {
    // A late answer of a question that was closed because nobody waited for it any more.
    if (!showing_ || queue_.empty() || queue_.front().id != id) return;
    Question q = std::move(queue_.front());
    queue_.erase(queue_.begin());
    showing_ = false;
    if (answer == KeyAnswer::AlwaysAllow) {
        allowed_.insert(q.pair);
        if (secrets_) secrets_->allow(q.pair.first, q.pair.second);
    }
    if (answer == KeyAnswer::DontAllow) refused_.insert(q.pair);
    for (auto& [ticket, waiter] : q.waiting) waiter(answer != KeyAnswer::DontAllow);
    showNext();
}

void KeyGate::cancel(Ticket ticket) {
    for (auto q = queue_.begin(); q != queue_.end(); ++q) {
        auto w = std::find_if(q->waiting.begin(), q->waiting.end(), [&](const auto& e) { return e.first == ticket; });
        if (w == q->waiting.end()) continue;
        q->waiting.erase(w);
        if (!q->waiting.empty()) return;
        bool shown = showing_ && q == queue_.begin();
        queue_.erase(q);
        if (shown) {
            showing_ = false;
            question_->dismiss();
            showNext();
        }
        return;
    }
}

}  // namespace net
