// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <webkit/webkit.h>

#include "gobj/handles.h"
#include "webpolicy/shell_ui.h"

namespace webpolicy {

// The page's alert, confirm and prompt on a web view's "script-dialog", as native alerts modal to
// the view's window. The page's script waits until the alert is answered. Other kinds (before
// unload) keep WebKit's own dialog.
class WebkitShellUI {
public:
    WebkitShellUI(WebKitWebView* view, ShellUI ui);
    WebkitShellUI(const WebkitShellUI&) = delete;
    WebkitShellUI& operator=(const WebkitShellUI&) = delete;

private:
    static gboolean onScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog, gpointer self) noexcept;
    bool show(WebKitWebView* view, WebKitScriptDialog* dialog);

    ShellUI ui_;
    gobj::SignalConnection scriptDialog_;
};

// The page's dialog that is waiting for the user, if there is one.
GtkWindow* openPageDialog();

}  // namespace webpolicy
