// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "webpolicy/shell_ui.h"

namespace webpolicy {

// Called once with the index of the button that closed the alert and the field's text. Closing the
// alert any other way (Escape, the window manager, the parent going away) answers the content's
// `closeAnswer`, else like the last button.
using AlertAnswer = std::function<void(std::size_t button, std::string fieldText)>;

// Shows `content` as a message dialog, modal and transient for `parent` (which may be null), and
// returns at once; the answer comes from the dialog's response. The first button is the default:
// Return presses it, also from the field, which holds the keyboard focus.
GtkWindow* showAlert(GtkWindow* parent, const AlertContent& content, AlertAnswer answer);

}  // namespace webpolicy
