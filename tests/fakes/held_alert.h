// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shell's alert as a unit test holds it: it records what was shown and answers when told.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "app/quit_confirmation.h"

namespace fakes {

class HeldAlert final : public app::QuitAlert {
public:
    std::vector<webpolicy::AlertContent> shown;
    std::function<void(std::size_t)> answer;
    bool open = false;
    int dismissed = 0;
    void show(const webpolicy::AlertContent& content, std::function<void(std::size_t)> a) override {
        shown.push_back(content);
        answer = std::move(a);
        open = true;
    }
    void dismiss() override {
        if (open) ++dismissed;
        open = false;
    }
    // The user's choice: the alert closes and answers.
    void choose(std::size_t button) {
        open = false;
        answer(button);
    }
    std::string title() const { return shown.empty() ? "" : shown.back().message; }
};

}  // namespace fakes
