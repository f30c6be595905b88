// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The menu bar rendered as the GtkApplication's menu bar model: one application action per item
// ("app.tag-<tag>" for the items that drive the page), boolean action states for check marks,
// Control accelerators, Pango markup for the import item's badge.
#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gobj/handles.h"
#include "menu/gtk_edit_commands.h"
#include "menu/menu_view.h"

namespace menu {

// Every application window shows the menu bar (GTK 4 windows hide it unless told), and turns
// Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y that the page left unhandled into undo and redo in its web view.
class GtkMenuBarView final : public MenuView {
public:
    struct Handlers {
        std::function<void(int tag)> menuAction;  // called from the menu event; may rebuild the menu
        std::function<void()> about;
        std::function<void()> quit;
    };

    GtkMenuBarView(GtkApplication* app, Handlers handlers);
    ~GtkMenuBarView() override;
    GtkMenuBarView(const GtkMenuBarView&) = delete;
    GtkMenuBarView& operator=(const GtkMenuBarView&) = delete;

    void install(const Menu& bar) override;
    void setChecked(int tag, bool on) override;

    // The application action of an item, without the "app." prefix; empty for items that only
    // open a submenu.
    static std::string actionName(const MenuItem& item);
    static std::string accelerator(const KeyEquivalent& key);  // "<Control><Shift>e"
    static std::string markup(const std::vector<TitleRun>& runs);

private:
    GtkApplication* app_;  // outlives the view
    // Shared with the action closures, which hold it weakly: an action that outlives the view does nothing.
    std::shared_ptr<Handlers> handlers_;
    std::vector<std::string> actionNames_;
    // The installed menu bar model. Windows keep the model they were given, so a rebuild replaces
    // its contents rather than the model itself.
    gobj::GRef<GMenu> root_;
    gobj::SignalConnection windowAdded_;
};

}  // namespace menu
