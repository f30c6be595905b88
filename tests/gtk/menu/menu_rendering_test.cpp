// SPDX-License-Identifier: GPL-3.0-or-later
// What the menu bar shows, read from the widgets GTK builds from the installed model.
#include <gtest/gtest.h>

#include <string>

#include "support/gtk_support.h"

namespace {

// The label of the menu row (a GtkModelButton, in the menu bar's popovers) whose text holds `part`.
GtkLabel* findMenuLabel(GtkWidget* w, const std::string& part) {
    if (GTK_IS_LABEL(w) && std::string(gtk_label_get_label(GTK_LABEL(w))).find(part) != std::string::npos)
        return GTK_LABEL(w);
    for (GtkWidget* c = gtk_widget_get_first_child(w); c; c = gtk_widget_get_next_sibling(c))
        if (GtkLabel* found = findMenuLabel(c, part)) return found;
    return nullptr;
}

// The import item's badge is drawn, not shown as the markup's source text (GTK reads the menu
// model's "use-markup" attribute as a string).
TEST(MenuRendering, TheImportItemShowsItsBadge) {
    testsupport::Shell shell("<!doctype html><title>x</title>");
    ASSERT_TRUE(shell.waitLoaded());
    GtkLabel* label = nullptr;
    ASSERT_TRUE(testsupport::runUntil([&] { return (label = findMenuLabel(GTK_WIDGET(shell.window()), "BETA")); }));
    std::string text = gtk_label_get_text(label);
    EXPECT_EQ(text.find('<'), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("  BETA  …")) << text;
    PangoAttrList* attrs = gtk_label_get_attributes(label);
    PangoLayout* layout = gtk_label_get_layout(label);
    bool background = false;
    for (PangoAttrList* list : {attrs, pango_layout_get_attributes(layout)}) {
        if (!list) continue;
        g_autoptr(PangoAttrIterator) it = pango_attr_list_get_iterator(list);
        do {
            if (pango_attr_iterator_get(it, PANGO_ATTR_BACKGROUND)) background = true;
        } while (pango_attr_iterator_next(it));
    }
    EXPECT_TRUE(background) << "the badge has no background";
}

}  // namespace
