// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/gtk_menu_bar.h"

#include "gobj/connect.h"
#include "menu/gtk_edit_commands.h"
#include "menu/gtk_menu_render.h"
#include "menu/gtk_paste.h"
#include "menu/gtk_undo_keys.h"

namespace menu {
namespace {

void onActivate(GtkMenuBarView::Handlers* handlers, GtkApplication* app, Action action, int tag) {
    if (!handlers) return;
    switch (action) {
        case Action::MenuAction:
            if (handlers->menuAction) handlers->menuAction(tag);
            break;
        case Action::About:
            if (handlers->about) handlers->about();
            break;
        case Action::Quit:
            if (handlers->quit) handlers->quit();
            break;
        case Action::Paste:
            paste(app);
            break;
        case Action::Cut:
        case Action::Copy:
        case Action::SelectAll:
            runEditCommand(app, action);
            break;
        case Action::None:
            break;
    }
}

}  // namespace

GtkMenuBarView::GtkMenuBarView(GtkApplication* app, Handlers handlers)
    : app_(app), handlers_(std::make_shared<Handlers>(std::move(handlers))) {
    auto show = +[](GtkApplication*, GtkWindow* window, gpointer) noexcept {
        if (!GTK_IS_APPLICATION_WINDOW(window)) return;
        gtk_application_window_set_show_menubar(GTK_APPLICATION_WINDOW(window), TRUE);
        static const std::string undo = "tag-" + std::to_string(kUndoTag), redo = "tag-" + std::to_string(kRedoTag);
        addUndoKeys(window, undo.c_str(), redo.c_str());
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
        gobj::connectForLife<GSimpleAction, GVariant*>(
            action, "activate",
            [handlers = std::weak_ptr(handlers_), app = app_, kind = item->action, tag = item->tag](
                GSimpleAction*, GVariant*) { onActivate(handlers.lock().get(), app, kind, tag); });
        g_action_map_add_action(G_ACTION_MAP(app_), G_ACTION(action));  // replaces the previous build's
        g_object_unref(action);

        std::string detailed = "app." + name;
        // A key the page sees first is only shown; the keys it leaves come back through addUndoKeys.
        bool taken = item->key && !item->key->pageFirst;
        std::string accel = taken ? accelerator(*item->key) : "";
        const char* accels[] = {accel.c_str(), nullptr};
        const char* none[] = {nullptr};
        gtk_application_set_accels_for_action(app_, detailed.c_str(), taken ? accels : none);
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

}  // namespace menu
