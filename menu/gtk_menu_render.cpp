// SPDX-License-Identifier: GPL-3.0-or-later
#include "menu/gtk_menu_render.h"

#include "menu/gtk_menu_bar.h"

namespace menu {
namespace {
GMenuItem* renderItem(const MenuItem& item);
}  // namespace

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

namespace {

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
        // Menu labels take "_" as the mark of a mnemonic; a file's name shows its own as they are.
        std::string shown;
        for (char c : label) shown += c == '_' ? std::string("__") : std::string(1, c);
        g_menu_item_set_label(rendered, shown.c_str());
    }
    if (item.key) g_menu_item_set_attribute(rendered, "accel", "s", GtkMenuBarView::accelerator(*item.key).c_str());
    return rendered;
}

}  // namespace

}  // namespace menu
