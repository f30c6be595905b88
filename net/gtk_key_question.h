// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <gtk/gtk.h>

#include "gobj/handles.h"
#include "net/key_question.h"

namespace net {

// The key question as a message dialog, modal to the main window, which is brought to the front
// first. The dialog's title is the message, so it can be found by it.
class GtkKeyQuestion final : public KeyQuestion {
public:
    explicit GtkKeyQuestion(GtkApplication* app) : app_(app) {}
    void ask(const KeyQuestionText& text, std::function<void(KeyAnswer)> answer) override;
    void dismiss() override;

private:
    GtkApplication* app_;          // outlives every Part
    gobj::Weak<GtkWindow> shown_;  // the question shown last, while it is open
};

}  // namespace net
