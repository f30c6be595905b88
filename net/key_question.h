// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The native question asked before a stored key goes to an origin it is not bound to.
#include <functional>
#include <string>
#include <vector>

namespace net {

enum class KeyAnswer { AllowOnce, AlwaysAllow, DontAllow };

// The question's texts, in the interface language.
struct KeyQuestionText {
    std::string message;  // names the key and the host
    std::string detail;   // where the key is meant to go
    std::string allowOnce, alwaysAllow, dontAllow;
};

class KeyQuestion {
public:
    virtual ~KeyQuestion() = default;
    // Shows the question in front of the main window, its buttons in the order Allow once, Always
    // allow, Don't allow, with Don't allow the default. Answers once, later, on the main thread;
    // Escape or any other way of closing it answers DontAllow.
    virtual void ask(const KeyQuestionText& text, std::function<void(KeyAnswer)> answer) = 0;
    // Closes the question shown last if it is still open. Its answer may still come; the caller has
    // stopped listening for it.
    virtual void dismiss() = 0;
};

// Looks up a native text by its Simplified Chinese key in the interface language.
using KeyTranslate = std::function<std::string(const std::string& key)>;

// The texts for sending `keyId` to `origin` when it is meant for `boundTo` (origins). The key id is
// the page's text: characters that could make it read as something else (line breaks, direction
// marks, other controls) are shown as U+FFFD, and a long one is cut short.
KeyQuestionText keyQuestionText(const KeyTranslate& t, const std::string& keyId, const std::string& origin,
                                const std::vector<std::string>& boundTo);

}  // namespace net
