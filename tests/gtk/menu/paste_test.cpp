// SPDX-License-Identifier: GPL-3.0-or-later
// Ctrl+V typed as a user types it: on the board the clipboard's image or text becomes an item of the
// board; in a page text field it is the field's paste, and nothing lands on the board.
#include <gtest/gtest.h>

#include "support/gtk_support.h"
#include "support/real_page.h"

// Last: it brings in Xlib's macros.
#include "gtk/menu/real_keys.h"

namespace {

using testsupport::pressKeys;

GdkClipboard* clipboard() { return gdk_display_get_clipboard(gdk_display_get_default()); }

TEST(Paste, OnTheBoardTheClipboardBecomesAnItem) {
    testsupport::Shell shell("");
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    gtk_widget_grab_focus(GTK_WIDGET(shell.webView()));

    g_autoptr(GdkPixbuf) pixels = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 30, 20);
    gdk_pixbuf_fill(pixels, 0xff0000ff);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    g_autoptr(GdkTexture) texture = gdk_texture_new_for_pixbuf(pixels);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gdk_clipboard_set_texture(clipboard(), texture);
    ASSERT_TRUE(pressKeys(shell, {"ctrl+v"}));
    ASSERT_TRUE(shell.waitFor("board.doc().items.length === 1"));
    EXPECT_EQ(shell.eval("(({type, w, h}) => `${type} ${w}x${h}`)(board.doc().items[0])"), "image 30x20");
    EXPECT_EQ(shell.eval("String(/^拖入图片-\\d{6}\\.png$/.test(board.doc().items[0].name))"), "true");

    gdk_clipboard_set_text(clipboard(), "pasted words");
    ASSERT_TRUE(pressKeys(shell, {"ctrl+v"}));
    ASSERT_TRUE(shell.waitFor("board.doc().items.length === 2"));
    EXPECT_EQ(shell.eval("board.doc().items[1].text"), "pasted words");

    // Chosen from the Edit menu, whose popover has the focus then, it is the same.
    gtk_root_set_focus(GTK_ROOT(shell.window()), nullptr);
    g_action_group_activate_action(G_ACTION_GROUP(shell.app().application()), "paste", nullptr);
    ASSERT_TRUE(shell.waitFor("board.doc().items.length === 3"));
    gtk_widget_grab_focus(GTK_WIDGET(shell.webView()));

    // In a text field the text is the field's, once, and the board is left alone.
    shell.eval("window.field = document.getElementById('ai-model'); field.value = ''; field.focus(); 0");
    ASSERT_TRUE(shell.waitFor("document.activeElement === field"));
    ASSERT_TRUE(pressKeys(shell, {"ctrl+v"}));
    ASSERT_TRUE(shell.waitFor("field.value === 'pasted words'")) << shell.eval("field.value").value_or("?");
    EXPECT_EQ(shell.eval("String(board.doc().items.length)"), "3");
}

}  // namespace
