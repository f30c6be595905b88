// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace webpolicy {

// Looks up a native text by its Simplified Chinese key in the interface language.
using Translate = std::function<std::string(const std::string& key)>;

// One native alert: its texts, its buttons in order (the first is the default, closing it any other
// way answers like the last unless `closeAnswer` names another), and for a prompt the field's
// starting text.
struct AlertContent {
    std::string message;
    std::string detail;
    std::vector<std::string> buttons;
    std::optional<std::string> field;
    bool warning = false;
    std::optional<std::size_t> closeAnswer;
};

enum class ScriptDialogKind { Alert, Confirm, Prompt };

// The page's alert, confirm and prompt as native alerts, and what the page gets back.
class ShellUI {
public:
    explicit ShellUI(Translate t) : t_(std::move(t)) {}

    AlertContent build(ScriptDialogKind kind, const std::string& message,
                       const std::optional<std::string>& defaultText) const;

    // The page's answer to a dialog closed with `button` (its index): confirm is true only for the
    // first button; prompt gives the field's text for the first button, null otherwise.
    struct Answer {
        bool confirmed = false;
        std::optional<std::string> text;
    };
    static Answer answer(ScriptDialogKind kind, std::size_t button, const std::string& fieldText);

private:
    Translate t_;
};

}  // namespace webpolicy
