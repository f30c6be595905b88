// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/gtk_paste.h"

#include <webkit/webkit.h>

#include "menu/gtk_edit_commands.h"

namespace menu {
namespace {

using Handlers = GtkMenuBarView::Handlers;

// Whether the page's focused element takes pasted text itself.
constexpr const char* kTextFieldFocused = R"JS((() => {
  const e = document.activeElement;
  if (!e) return false;
  if (e.isContentEditable || e.tagName === 'TEXTAREA') return true;
  return e.tagName === 'INPUT' &&
    !['button', 'checkbox', 'radio', 'range', 'color', 'file', 'submit', 'reset', 'image'].includes(e.type);
})())JS";

struct PendingPaste {
    GtkApplication* app;
    std::weak_ptr<Handlers> handlers;
    gobj::Weak<WebKitWebView> view;
};

void deliverTexture(GObject* source, GAsyncResult* result, gpointer data) noexcept {
    std::unique_ptr<std::weak_ptr<Handlers>> weak(static_cast<std::weak_ptr<Handlers>*>(data));
    g_autoptr(GdkTexture) texture = gdk_clipboard_read_texture_finish(GDK_CLIPBOARD(source), result, nullptr);
    auto handlers = weak->lock();
    if (!texture || !handlers || !handlers->pasteItem) return;
    g_autoptr(GBytes) png = gdk_texture_save_to_png_bytes(texture);
    gsize size = 0;
    auto* bytes = static_cast<const std::uint8_t*>(g_bytes_get_data(png, &size));
    handlers->pasteItem(std::vector<std::uint8_t>(bytes, bytes + size), std::nullopt);
}

void deliverText(GObject* source, GAsyncResult* result, gpointer data) noexcept {
    std::unique_ptr<std::weak_ptr<Handlers>> weak(static_cast<std::weak_ptr<Handlers>*>(data));
    g_autofree char* text = gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, nullptr);
    auto handlers = weak->lock();
    if (!text || !*text || !handlers || !handlers->pasteItem) return;
    handlers->pasteItem(std::nullopt, std::string(text));
}

void onFocusKnown(GObject* source, GAsyncResult* result, gpointer data) noexcept {
    std::unique_ptr<PendingPaste> pending(static_cast<PendingPaste*>(data));
    g_autoptr(GError) error = nullptr;
    g_autoptr(JSCValue) value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    auto view = pending->view.lock();
    if (!view) return;
    // A page that cannot say keeps the plain editing command.
    if (!value || !jsc_value_is_boolean(value) || jsc_value_to_boolean(value)) {
        webkit_web_view_execute_editing_command(view.get(), WEBKIT_EDITING_COMMAND_PASTE);
        return;
    }
    GdkClipboard* clipboard = gtk_widget_get_clipboard(GTK_WIDGET(view.get()));
    GdkContentFormats* formats = gdk_clipboard_get_formats(clipboard);
    if (gdk_content_formats_contain_gtype(formats, GDK_TYPE_TEXTURE))
        gdk_clipboard_read_texture_async(clipboard, nullptr, deliverTexture,
                                         new std::weak_ptr<Handlers>(pending->handlers));
    else if (gdk_content_formats_contain_gtype(formats, G_TYPE_STRING))
        gdk_clipboard_read_text_async(clipboard, nullptr, deliverText, new std::weak_ptr<Handlers>(pending->handlers));
}

}  // namespace

// WebKit's paste does nothing where no text field has the focus, and a page never sees a
// clipboard image; so on the board itself the clipboard's content reaches the page as a pasted
// item, as a drop does. In a text field, and outside the web view, Paste is the editing command.
void paste(GtkApplication* app, const std::weak_ptr<Handlers>& handlers) {
    GtkWindow* window = gtk_application_get_active_window(app);
    auto h = handlers.lock();
    if (!window || !h || !h->pasteItem) {
        runEditCommand(app, Action::Paste);
        return;
    }
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
    auto* pending = new PendingPaste{app, handlers, {}};
    pending->view.set(view);
    webkit_web_view_evaluate_javascript(view, kTextFieldFocused, -1, nullptr, nullptr, nullptr, onFocusKnown, pending);
}

}  // namespace menu
