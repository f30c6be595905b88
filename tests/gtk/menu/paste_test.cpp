// SPDX-License-Identifier: GPL-3.0-or-later
// Paste typed as a user types it, and chosen from the Edit menu: the page's own paste event for
// every page; for the application's page, which asks for them, also the clipboard's picture and
// files, which that event does not carry; in a page text field the field's paste, once. And a
// picture copied on the board, as other applications read it.
#include <gtest/gtest.h>

#include "support/gtk_support.h"
#include "support/real_page.h"

// Last: it brings in Xlib's macros.
#include "gtk/menu/real_keys.h"

namespace {

using testsupport::pressKeys;

GdkClipboard* clipboard() { return gdk_display_get_clipboard(gdk_display_get_default()); }

// A 30 × 20 red picture as a texture, as an image viewer copies it.
void copyPicture() {
    g_autoptr(GdkPixbuf) pixels = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 30, 20);
    gdk_pixbuf_fill(pixels, 0xff0000ff);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    g_autoptr(GdkTexture) texture = gdk_texture_new_for_pixbuf(pixels);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gdk_clipboard_set_texture(clipboard(), texture);
}

// Files as a file manager copies them.
void copyFiles(const std::vector<std::string>& paths) {
    GSList* files = nullptr;
    for (auto it = paths.rbegin(); it != paths.rend(); ++it)
        files = g_slist_prepend(files, g_file_new_for_path(it->c_str()));
    GValue value = G_VALUE_INIT;
    g_value_init(&value, GDK_TYPE_FILE_LIST);
    g_value_take_boxed(&value, gdk_file_list_new_from_list(files));
    gdk_clipboard_set_value(clipboard(), &value);
    g_value_unset(&value);
    g_slist_free_full(files, g_object_unref);
}

// A page that knows only the plain contract: no function of the shell's extensions.
const char* kPlainPage = R"(<!doctype html><meta charset="utf-8"><body><p>a page</p><script>
window.pastes = [];
document.addEventListener('paste', (e) => {
  e.preventDefault();
  pastes.push(e.target.nodeName + '|' + e.clipboardData.getData('text/plain'));
});
</script></body>)";

TEST(Paste, APageWrittenToThePlainContractGetsItsPasteEvent) {
    testsupport::Shell shell(kPlainPage);
    ASSERT_TRUE(shell.waitLoaded());
    gtk_widget_grab_focus(GTK_WIDGET(shell.webView()));
    gdk_clipboard_set_text(clipboard(), "pasted words");
    ASSERT_TRUE(pressKeys(shell, {"ctrl+v"}));
    ASSERT_TRUE(shell.waitFor("pastes.length === 1"));
    EXPECT_EQ(shell.eval("pastes[0]"), "BODY|pasted words");

    // From the Edit menu, whose popover has the focus then, and with a picture on the clipboard,
    // which the page did not ask for: the event all the same, with no text.
    copyPicture();
    gtk_root_set_focus(GTK_ROOT(shell.window()), nullptr);
    g_action_group_activate_action(G_ACTION_GROUP(shell.app().application()), "paste", nullptr);
    ASSERT_TRUE(shell.waitFor("pastes.length === 2"));
    EXPECT_EQ(shell.eval("pastes[1]"), "BODY|");
}

TEST(Paste, OnTheBoardTheClipboardBecomesAnItem) {
    testsupport::Shell shell("");
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    gtk_widget_grab_focus(GTK_WIDGET(shell.webView()));

    copyPicture();
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

    // Files copied in a file manager: one item each, the picture as a picture.
    testsupport::TempDir dir;
    dir.write("notes.txt", "hello");
    copyFiles({dir.file("notes.txt")});
    ASSERT_TRUE(pressKeys(shell, {"ctrl+v"}));
    ASSERT_TRUE(shell.waitFor("board.doc().items.length === 4"));
    EXPECT_EQ(shell.eval("(i => i.type + '|' + i.name)(board.doc().items[3])"), "file|notes.txt");

    // In a text field the text is the field's, once, and the board is left alone, whatever else
    // the clipboard holds.
    gdk_clipboard_set_text(clipboard(), "pasted words");
    shell.eval("window.field = document.getElementById('ai-model'); field.value = ''; field.focus(); 0");
    ASSERT_TRUE(shell.waitFor("document.activeElement === field"));
    ASSERT_TRUE(pressKeys(shell, {"ctrl+v"}));
    ASSERT_TRUE(shell.waitFor("field.value === 'pasted words'")) << shell.eval("field.value").value_or("?");
    copyPicture();
    ASSERT_TRUE(pressKeys(shell, {"ctrl+v"}));
    // The picture's paste has been handled once a text paste after it has.
    gdk_clipboard_set_text(clipboard(), "!");
    ASSERT_TRUE(pressKeys(shell, {"ctrl+v"}));
    ASSERT_TRUE(shell.waitFor("field.value === 'pasted words!'")) << shell.eval("field.value").value_or("?");
    EXPECT_EQ(shell.eval("String(board.doc().items.length)"), "4");
}

// The clipboard's `mime` content, read as another application reads it. The shell's own
// clipboard is written by this process as it is read, so the read runs on the main loop.
std::optional<std::string> readClipboard(const char* mime) {
    struct Read {
        bool done = false;
        std::optional<std::string> bytes;
        GOutputStream* out = g_memory_output_stream_new_resizable();
        ~Read() { g_object_unref(out); }
    } read;
    const char* mimes[] = {mime, nullptr};
    gdk_clipboard_read_async(
        clipboard(), mimes, G_PRIORITY_DEFAULT, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer data) noexcept {
            auto* r = static_cast<Read*>(data);
            g_autoptr(GInputStream) in = gdk_clipboard_read_finish(GDK_CLIPBOARD(source), result, nullptr, nullptr);
            if (!in) {
                r->done = true;
                return;
            }
            g_output_stream_splice_async(
                r->out, in,
                GOutputStreamSpliceFlags(G_OUTPUT_STREAM_SPLICE_CLOSE_SOURCE | G_OUTPUT_STREAM_SPLICE_CLOSE_TARGET),
                G_PRIORITY_DEFAULT, nullptr,
                +[](GObject* out, GAsyncResult* result, gpointer data) noexcept {
                    auto* r = static_cast<Read*>(data);
                    if (g_output_stream_splice_finish(G_OUTPUT_STREAM(out), result, nullptr) >= 0) {
                        auto* stream = G_MEMORY_OUTPUT_STREAM(out);
                        r->bytes.emplace(static_cast<const char*>(g_memory_output_stream_get_data(stream)),
                                         g_memory_output_stream_get_data_size(stream));
                    }
                    r->done = true;
                },
                r);
        },
        &read);
    testsupport::runUntil([&] { return read.done; });
    return read.bytes;
}

TEST(Copy, ASinglePictureReachesOtherApplicationsAsPngAndComesBackAsItself) {
    testsupport::Shell shell("");
    ASSERT_TRUE(testsupport::loadRealPage(shell));
    gdk_clipboard_set_text(clipboard(), "before");
    ASSERT_TRUE(
        shell.eval("(() => { const c = document.createElement('canvas'); c.width = 30; c.height = 20;"
                   " const g = c.getContext('2d'); g.fillStyle = '#0000ff'; g.fillRect(0, 0, 30, 20);"
                   " window.__img = null; board.addImage(c.toDataURL(), 'blue.png').then((id) => { __img = id; });"
                   " return true; })()"));
    ASSERT_TRUE(shell.waitFor("__img !== null"));
    shell.eval("boardView.setSelection([__img]); boardView.viewport.focus(); true");
    gtk_widget_grab_focus(GTK_WIDGET(shell.webView()));
    ASSERT_TRUE(pressKeys(shell, {"ctrl+c"}));
    ASSERT_TRUE(testsupport::runUntil(
        [] { return gdk_content_formats_contain_mime_type(gdk_clipboard_get_formats(clipboard()), "image/png"); }));

    std::optional<std::string> png = readClipboard("image/png");
    ASSERT_TRUE(png);
    g_autoptr(GBytes) bytes = g_bytes_new(png->data(), png->size());
    g_autoptr(GdkTexture) texture = gdk_texture_new_from_bytes(bytes, nullptr);
    ASSERT_TRUE(texture);
    EXPECT_EQ(gdk_texture_get_width(texture), 30);
    EXPECT_EQ(gdk_texture_get_height(texture), 20);
    std::vector<guint32> pixels(30 * 20);
    gdk_texture_download(texture, reinterpret_cast<guchar*>(pixels.data()), 30 * 4);
    EXPECT_EQ(pixels[0], 0xff0000ffu);  // opaque blue, as Cairo's ARGB32 holds it
    // Beside it the name as text and the HTML, which holds the board's own form.
    EXPECT_EQ(readClipboard("text/plain;charset=utf-8"), "blue.png");
    EXPECT_NE(readClipboard("text/html").value_or("").find("data-tavrik-board"), std::string::npos);

    // Pasted on the board: the item itself, not a new picture.
    ASSERT_TRUE(pressKeys(shell, {"ctrl+v"}));
    ASSERT_TRUE(shell.waitFor("board.doc().items.length === 2"));
    EXPECT_EQ(shell.eval("board.doc().items.map((i) => i.type + '|' + i.name).join()"),
              "image|blue.png,image|blue.png");
}

}  // namespace
