#include "menu/gtk_menu_bar.h"

#include <webkit/webkit.h>

#include "menu/l10n.h"

namespace menu {
namespace {

struct ActionClosure {
    std::weak_ptr<GtkMenuBarView::Handlers> handlers;
    GtkApplication* app;
    Action action;
    int tag;
};

void paste(GtkApplication* app, const std::weak_ptr<GtkMenuBarView::Handlers>& handlers);

void onActivate(GSimpleAction*, GVariant*, gpointer data) noexcept {
    auto* c = static_cast<ActionClosure*>(data);
    auto handlers = c->handlers.lock();
    if (!handlers) return;
    switch (c->action) {
        case Action::MenuAction:
            if (handlers->menuAction) handlers->menuAction(c->tag);
            break;
        case Action::About:
            if (handlers->about) handlers->about();
            break;
        case Action::Quit:
            if (handlers->quit) handlers->quit();
            break;
        case Action::Paste:
            paste(c->app, c->handlers);
            break;
        case Action::Cut:
        case Action::Copy:
        case Action::SelectAll:
            runEditCommand(c->app, c->action);
            break;
        case Action::None:
            break;
    }
}

GMenuItem* renderItem(const MenuItem& item);

GMenu* renderMenu(const Menu& menu, bool sections) {
    GMenu* out = g_menu_new();
    if (!sections) {
        for (const auto& item : menu.items) {
            if (item.separator) continue;
            g_autoptr(GMenuItem) rendered = renderItem(item);
            g_menu_append_item(out, rendered);
        }
        return out;
    }
    // Separators become section boundaries, which the popover draws as lines.
    GMenu* section = g_menu_new();
    auto flush = [&] {
        if (g_menu_model_get_n_items(G_MENU_MODEL(section)) > 0)
            g_menu_append_section(out, nullptr, G_MENU_MODEL(section));
        g_object_unref(section);
        section = g_menu_new();
    };
    for (const auto& item : menu.items) {
        if (item.separator) {
            flush();
            continue;
        }
        g_autoptr(GMenuItem) rendered = renderItem(item);
        g_menu_append_item(section, rendered);
    }
    flush();
    g_object_unref(section);
    return out;
}

GMenuItem* renderItem(const MenuItem& item) {
    std::string label = item.shownTitle();
    if (item.submenu) {
        g_autoptr(GMenu) sub = renderMenu(*item.submenu, true);
        return g_menu_item_new_submenu(label.c_str(), G_MENU_MODEL(sub));
    }
    std::string action = "app." + GtkMenuBarView::actionName(item);
    GMenuItem* rendered = g_menu_item_new(nullptr, action.c_str());
    if (!item.runs.empty()) {
        g_menu_item_set_label(rendered, GtkMenuBarView::markup(item.runs).c_str());
        // GTK takes the attribute's presence as a string; a boolean is ignored and the markup shown as text.
        g_menu_item_set_attribute(rendered, "use-markup", "s", "true");
    } else {
        g_menu_item_set_label(rendered, label.c_str());
    }
    if (item.key) g_menu_item_set_attribute(rendered, "accel", "s", GtkMenuBarView::accelerator(*item.key).c_str());
    return rendered;
}

const char* webkitCommand(Action action) {
    switch (action) {
        case Action::Cut:
            return WEBKIT_EDITING_COMMAND_CUT;
        case Action::Copy:
            return WEBKIT_EDITING_COMMAND_COPY;
        case Action::Paste:
            return WEBKIT_EDITING_COMMAND_PASTE;
        default:
            return WEBKIT_EDITING_COMMAND_SELECT_ALL;
    }
}

const char* textFieldAction(Action action) {
    switch (action) {
        case Action::Cut:
            return "clipboard.cut";
        case Action::Copy:
            return "clipboard.copy";
        case Action::Paste:
            return "clipboard.paste";
        default:
            return "selection.select-all";
    }
}

// The web view that has the keyboard focus in `window`, if any.
WebKitWebView* focusedWebView(GtkWindow* window) {
    for (GtkWidget* w = gtk_root_get_focus(GTK_ROOT(window)); w; w = gtk_widget_get_parent(w))
        if (WEBKIT_IS_WEB_VIEW(w)) return WEBKIT_WEB_VIEW(w);
    return nullptr;
}

// WebKitGTK leaves undo and redo keys to the application: a page text field ignores Ctrl+Z. The keys
// the page did not take (its board undo takes them outside text fields) come back to the window, and
// there they become the field's own undo and redo.
gboolean onUnhandledKey(GtkEventControllerKey* keys, guint keyval, guint, GdkModifierType state, gpointer) noexcept {
    auto mods = state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK | GDK_ALT_MASK | GDK_SUPER_MASK);
    guint key = gdk_keyval_to_lower(keyval);
    const char* command = nullptr;
    if (key == GDK_KEY_z && mods == GDK_CONTROL_MASK)
        command = WEBKIT_EDITING_COMMAND_UNDO;
    else if ((key == GDK_KEY_z && mods == (GDK_CONTROL_MASK | GDK_SHIFT_MASK)) ||
             (key == GDK_KEY_y && mods == GDK_CONTROL_MASK))
        command = WEBKIT_EDITING_COMMAND_REDO;
    if (!command) return FALSE;
    GtkWidget* window = gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(keys));
    WebKitWebView* view = GTK_IS_WINDOW(window) ? focusedWebView(GTK_WINDOW(window)) : nullptr;
    if (!view) return FALSE;
    webkit_web_view_execute_editing_command(view, command);
    return TRUE;
}

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

}  // namespace

GtkMenuBarView::GtkMenuBarView(GtkApplication* app, Handlers handlers)
    : app_(app), handlers_(std::make_shared<Handlers>(std::move(handlers))) {
    auto show = +[](GtkApplication*, GtkWindow* window, gpointer) noexcept {
        if (!GTK_IS_APPLICATION_WINDOW(window)) return;
        gtk_application_window_set_show_menubar(GTK_APPLICATION_WINDOW(window), TRUE);
        if (g_object_get_data(G_OBJECT(window), "tavrik-undo-keys")) return;
        g_object_set_data(G_OBJECT(window), "tavrik-undo-keys", GINT_TO_POINTER(1));
        // Bubble phase: only keys that no widget below, the web view included, has handled.
        GtkEventController* keys = gtk_event_controller_key_new();
        gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_BUBBLE);
        g_signal_connect(keys, "key-pressed", G_CALLBACK(onUnhandledKey), nullptr);
        gtk_widget_add_controller(GTK_WIDGET(window), keys);
    };
    for (GList* l = gtk_application_get_windows(app_); l; l = l->next) show(app_, GTK_WINDOW(l->data), nullptr);
    windowAdded_ = gobj::SignalConnection(app_, g_signal_connect(app_, "window-added", G_CALLBACK(show), nullptr));
}

GtkMenuBarView::~GtkMenuBarView() {
    windowAdded_.reset();
    handlers_.reset();
    gtk_application_set_menubar(app_, nullptr);
    for (const auto& name : actionNames_) {
        g_action_map_remove_action(G_ACTION_MAP(app_), name.c_str());
        std::string detailed = "app." + name;
        const char* none[] = {nullptr};
        gtk_application_set_accels_for_action(app_, detailed.c_str(), none);
    }
}

std::string GtkMenuBarView::actionName(const MenuItem& item) {
    switch (item.action) {
        case Action::MenuAction:
            return "tag-" + std::to_string(item.tag);
        case Action::About:
            return "about";
        case Action::Quit:
            return "quit";
        case Action::Cut:
            return "cut";
        case Action::Copy:
            return "copy";
        case Action::Paste:
            return "paste";
        case Action::SelectAll:
            return "select-all";
        case Action::None:
            return "";
    }
    return "";
}

std::string GtkMenuBarView::accelerator(const KeyEquivalent& key) {
    return std::string("<Control>") + (key.shift ? "<Shift>" : "") + key.letter;
}

std::string GtkMenuBarView::markup(const std::vector<TitleRun>& runs) {
    std::string out;
    for (const auto& run : runs) {
        g_autofree char* text = g_markup_escape_text(run.text.c_str(), -1);
        // The badge: 9 pt bold white on rgb(0.05, 0.62, 0.55), written in 16-bit channels.
        if (run.badge)
            out += std::string(
                       R"(<span font_weight="bold" size="9216" foreground="#ffffff" background="#0ccd9eb88ccc">)") +
                   text + "</span>";
        else
            out += text;
    }
    return out;
}

void GtkMenuBarView::install(const Menu& bar) {
    // Actions first, so the new model never points at a missing action.
    actionNames_.clear();
    for (const MenuItem* item : allItems(bar)) {
        std::string name = actionName(*item);
        if (name.empty()) continue;
        GSimpleAction* action =
            item->checkable ? g_simple_action_new_stateful(name.c_str(), nullptr, g_variant_new_boolean(item->checked))
                            : g_simple_action_new(name.c_str(), nullptr);
        g_signal_connect_data(
            action, "activate", G_CALLBACK(onActivate), new ActionClosure{handlers_, app_, item->action, item->tag},
            +[](gpointer data, GClosure*) noexcept { delete static_cast<ActionClosure*>(data); }, GConnectFlags(0));
        g_action_map_add_action(G_ACTION_MAP(app_), G_ACTION(action));  // replaces the previous build's
        g_object_unref(action);

        std::string detailed = "app." + name;
        std::string accel = item->key ? accelerator(*item->key) : "";
        const char* accels[] = {accel.c_str(), nullptr};
        const char* none[] = {nullptr};
        gtk_application_set_accels_for_action(app_, detailed.c_str(), item->key ? accels : none);
        actionNames_.push_back(std::move(name));
    }
    g_autoptr(GMenu) model = renderMenu(bar, false);
    if (!root_) root_ = gobj::adopt(g_menu_new());
    g_menu_remove_all(root_.get());
    for (int i = 0; i < g_menu_model_get_n_items(G_MENU_MODEL(model)); ++i) {
        g_autoptr(GMenuItem) item = g_menu_item_new_from_model(G_MENU_MODEL(model), i);
        g_menu_append_item(root_.get(), item);
    }
    if (gtk_application_get_menubar(app_) != G_MENU_MODEL(root_.get()))
        gtk_application_set_menubar(app_, G_MENU_MODEL(root_.get()));
}

void GtkMenuBarView::setChecked(int tag, bool on) {
    std::string name = "tag-" + std::to_string(tag);
    GAction* action = g_action_map_lookup_action(G_ACTION_MAP(app_), name.c_str());
    if (action && G_IS_SIMPLE_ACTION(action) && g_action_get_state_type(action))
        g_simple_action_set_state(G_SIMPLE_ACTION(action), g_variant_new_boolean(on));
}

GtkWidget* webViewOfWindow(GtkWindow* window) {
    GtkWidget* child = window ? gtk_window_get_child(window) : nullptr;
    if (!child) return nullptr;
    if (WEBKIT_IS_WEB_VIEW(child)) return child;
    for (GtkWidget* c = gtk_widget_get_first_child(child); c; c = gtk_widget_get_next_sibling(c))
        if (WEBKIT_IS_WEB_VIEW(c)) return c;
    return nullptr;
}

void runEditCommand(GtkApplication* app, Action action) {
    GtkWindow* window = gtk_application_get_active_window(app);
    if (!window) return;
    GtkWidget* focus = gtk_root_get_focus(GTK_ROOT(window));
    for (GtkWidget* w = focus; w; w = gtk_widget_get_parent(w)) {
        if (WEBKIT_IS_WEB_VIEW(w)) {
            webkit_web_view_execute_editing_command(WEBKIT_WEB_VIEW(w), webkitCommand(action));
            return;
        }
    }
    if (focus && gtk_widget_activate_action(focus, textFieldAction(action), nullptr)) return;
    if (GtkWidget* view = webViewOfWindow(window))
        webkit_web_view_execute_editing_command(WEBKIT_WEB_VIEW(view), webkitCommand(action));
}

}  // namespace menu
