// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/gtk_paste.h"

#include <webkit/webkit.h>

#include <memory>

#include "drop/gtk_drag_catch_view.h"
#include "drop/gtk_pasteboard.h"
#include "drop/pasteboard_items.h"
#include "gobj/handles.h"
#include "menu/gtk_edit_commands.h"

namespace menu {
namespace {

// Whether the page's focused element takes pasted text itself.
constexpr const char* kTextFieldFocused = R"JS((() => {
  const e = document.activeElement;
  if (!e) return false;
  if (e.isContentEditable || e.tagName === 'TEXTAREA') return true;
  return e.tagName === 'INPUT' &&
    !['button', 'checkbox', 'radio', 'range', 'color', 'file', 'submit', 'reset', 'image'].includes(e.type);
})())JS";

using WeakView = std::shared_ptr<gobj::Weak<WebKitWebView>>;

WeakView weakly(WebKitWebView* view) { return std::make_shared<gobj::Weak<WebKitWebView>>(view); }

// The web view's paste: the page gets its paste event with what the clipboard holds as text and
// HTML, wherever the focus is inside it.
void pasteEvent(const WeakView& weak) {
    if (auto view = weak->lock()) webkit_web_view_execute_editing_command(view.get(), WEBKIT_EDITING_COMMAND_PASTE);
}

// The clipboard's files or picture for the page, then its paste event.
void deliverThenPaste(const WeakView& weak) {
    auto view = weak->lock();
    if (!view) return;
    drop::readClipboardFilesAndImage(
        gtk_widget_get_clipboard(GTK_WIDGET(view.get())), [weak](drop::MemoryPasteboard contents) {
            auto view = weak->lock();
            TavrikDragCatchView* catcher = view ? drop::dragCatchViewOf(GTK_WIDGET(view.get())) : nullptr;
            contents.linked.clear();  // links come as the paste's text
            json::Array items = drop::PasteboardItems::collectForPage(contents);
            if (!catcher || items.empty()) return pasteEvent(weak);
            drop::dragCatchViewDeliverPaste(catcher, json::Object{{"items", std::move(items)}},
                                            [weak] { pasteEvent(weak); });
        });
}

void onFocusKnown(GObject* source, GAsyncResult* result, gpointer data) noexcept {
    WeakView weak(*static_cast<WeakView*>(data));
    delete static_cast<WeakView*>(data);
    g_autoptr(JSCValue) value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
    // In a text field, or where the page cannot say, the paste is the field's alone.
    if (!value || !jsc_value_is_boolean(value) || jsc_value_to_boolean(value)) return pasteEvent(weak);
    deliverThenPaste(weak);
}

// Whether the page asked for the clipboard's files and picture, and the clipboard has some.
bool pageTakesClipboardItems(WebKitWebView* view) {
    TavrikDragCatchView* catcher = drop::dragCatchViewOf(GTK_WIDGET(view));
    if (!catcher || drop::dragCatchViewPasteItems(catcher) != drop::PasteItems::Taken) return false;
    GdkContentFormats* formats = gdk_clipboard_get_formats(gtk_widget_get_clipboard(GTK_WIDGET(view)));
    return drop::offersFilesOrImage(drop::dropFormats(formats));
}

}  // namespace

// The page's own paste event, for every page: WebKit fires it wherever the focus is in the page,
// with the clipboard's text and HTML. Files and pictures it does not carry, so a page that asked
// for them gets them from the clipboard first (not in its text fields, where they have no place).
void paste(GtkApplication* app) {
    GtkWindow* window = gtk_application_get_active_window(app);
    if (!window) return;
    WebKitWebView* view = focusedWebView(window);
    if (!view) {
        // A native text field takes it; otherwise (the menu's own popover has the focus when Paste is
        // chosen from the menu) the window's page does.
        GtkWidget* focus = gtk_root_get_focus(GTK_ROOT(window));
        if (focus && gtk_widget_activate_action(focus, "clipboard.paste", nullptr)) return;
        GtkWidget* page = webViewOfWindow(window);
        if (!page) return;
        view = WEBKIT_WEB_VIEW(page);
    }
    if (!pageTakesClipboardItems(view)) return pasteEvent(weakly(view));
    webkit_web_view_evaluate_javascript(view, kTextFieldFocused, -1, nullptr, nullptr, nullptr, onFocusKnown,
                                        new WeakView(weakly(view)));
}

}  // namespace menu
