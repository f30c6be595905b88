// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "app/compose_quit.h"
#include "menu/l10n.h"
#include "support/gtk_support.h"

namespace {

using testsupport::runUntil;
using testsupport::Shell;

const char* const kPage = R"(<!doctype html><meta charset="utf-8">
<body><input id="field" value="copied from the page">
<script>
window.calls = [];
window.__menuAction = c => calls.push(c);
window.__setLang = l => calls.push('lang:' + l);
function saveJSON() { calls.push('saveJSON'); }
</script>)";

using Language = testsupport::ScopedLanguage;

struct Entry {
    std::string label, action, accel;
    bool markup = false;
};

// The installed menu bar, flattened: each item as "Top/Sub/…/label" → entry, sections merged.
void flatten(GMenuModel* model, const std::string& prefix, std::vector<std::pair<std::string, Entry>>& out) {
    for (int i = 0; i < g_menu_model_get_n_items(model); ++i) {
        if (g_autoptr(GMenuModel) section = g_menu_model_get_item_link(model, i, G_MENU_LINK_SECTION)) {
            flatten(section, prefix, out);
            continue;
        }
        Entry e;
        g_autofree char* label = nullptr;
        g_autofree char* action = nullptr;
        g_autofree char* accel = nullptr;

        g_menu_model_get_item_attribute(model, i, G_MENU_ATTRIBUTE_LABEL, "s", &label);
        g_menu_model_get_item_attribute(model, i, G_MENU_ATTRIBUTE_ACTION, "s", &action);
        g_menu_model_get_item_attribute(model, i, "accel", "s", &accel);
        g_autofree char* useMarkup = nullptr;  // GTK reads it as a string
        bool markup = g_menu_model_get_item_attribute(model, i, "use-markup", "s", &useMarkup);
        e.label = label ? label : "";
        e.action = action ? action : "";
        e.accel = accel ? accel : "";
        e.markup = markup;
        std::string path = prefix + e.label;
        out.emplace_back(path, e);
        if (g_autoptr(GMenuModel) sub = g_menu_model_get_item_link(model, i, G_MENU_LINK_SUBMENU))
            flatten(sub, path + "/", out);
    }
}

std::vector<std::pair<std::string, Entry>> installedMenu(GtkApplication* app) {
    std::vector<std::pair<std::string, Entry>> out;
    if (GMenuModel* bar = gtk_application_get_menubar(app)) flatten(bar, "", out);
    return out;
}

const Entry* find(const std::vector<std::pair<std::string, Entry>>& items, const std::string& path) {
    for (const auto& [p, e] : items)
        if (p == path) return &e;
    return nullptr;
}

// The titles the main window's menu bar widget shows, left to right (its popovers left out).
void collectLabels(GtkWidget* w, std::vector<std::string>& out) {
    for (GtkWidget* c = gtk_widget_get_first_child(w); c; c = gtk_widget_get_next_sibling(c)) {
        if (GTK_IS_POPOVER(c)) continue;
        if (GTK_IS_LABEL(c)) out.push_back(gtk_label_get_text(GTK_LABEL(c)));
        collectLabels(c, out);
    }
}
GtkWidget* findBar(GtkWidget* w) {
    if (GTK_IS_POPOVER_MENU_BAR(w)) return w;
    for (GtkWidget* c = gtk_widget_get_first_child(w); c; c = gtk_widget_get_next_sibling(c))
        if (GtkWidget* found = findBar(c)) return found;
    return nullptr;
}
std::vector<std::string> shownBar(GtkWindow* window) {
    std::vector<std::string> labels;
    if (GtkWidget* bar = findBar(GTK_WIDGET(window))) collectLabels(bar, labels);
    return labels;
}

bool checked(GtkApplication* app, const char* action) {
    g_autoptr(GVariant) state = g_action_group_get_action_state(G_ACTION_GROUP(app), action);
    return state && g_variant_get_boolean(state);
}

// The application's first accelerator for `action`, written the way the menu writes it.
std::string primaryAccel(GtkApplication* app, const char* action) {
    g_auto(GStrv) accels = gtk_application_get_accels_for_action(app, action);
    if (!accels || !accels[0]) return "";
    guint key = 0;
    GdkModifierType mods{};
    if (!gtk_accelerator_parse(accels[0], &key, &mods)) return "?";
    return std::string("<Control>") + ((mods & GDK_SHIFT_MASK) ? "<Shift>" : "") + gdk_keyval_name(key);
}

void activate(GtkApplication* app, const char* action) {
    g_action_group_activate_action(G_ACTION_GROUP(app), action, nullptr);
}

TEST(MenuBar, InstalledModelCarriesLabelsAcceleratorsAndCheckMarks) {
    Language de("de_DE.UTF-8");
    Shell shell(kPage);
    GtkApplication* app = shell.app().application();
    EXPECT_EQ(testsupport::menuBarTitles(app),
              (std::vector<std::string>{"TAVRIK", "Ablage", "Bearbeiten", "Darstellung"}));

    auto items = installedMenu(app);
    struct Expect {
        const char* path;
        const char* action;
        const char* accel;
    };
    const Expect expects[] = {
        {"TAVRIK/Über TAVRIK", "app.about", ""},
        {"TAVRIK/TAVRIK beenden", "app.quit", "<Control>q"},
        {"Ablage/JSON sichern", "app.tag-0", "<Control>s"},
        {"Ablage/JSON öffnen…", "app.tag-1", "<Control>o"},
        {"Ablage/Neu", "app.tag-700", "<Control>n"},
        {"Ablage/Sichern unter…", "app.tag-701", "<Control><Shift>s"},
        {"Ablage/Zuletzt benutzte öffnen/Liste löschen", "app.tag-720", ""},
        {"Ablage/Exportieren/PNG-Bild/An Leinwand anpassen", "app.tag-2", "<Control><Shift>e"},
        {"Ablage/Exportieren/PNG-Bild/1:1", "app.tag-205", ""},
        {"Ablage/Exportieren/JPG-Bild/An Leinwand anpassen", "app.tag-3", ""},
        {"Ablage/Exportieren/OpenDocument-Text (odt)", "app.tag-8", ""},
        {"Bearbeiten/Ausschneiden", "app.cut", "<Control>x"},
        {"Bearbeiten/Kopieren", "app.copy", "<Control>c"},
        {"Bearbeiten/Einsetzen", "app.paste", "<Control>v"},
        {"Bearbeiten/Alles auswählen", "app.select-all", "<Control>a"},
        {"Darstellung/Zoom-Empfindlichkeit/Standard", "app.tag-402", ""},
        {"Darstellung/Sprache/Systemeinstellung folgen", "app.tag-500", ""},
        {"Darstellung/Sprache/한국어", "app.tag-510", ""},
        {"Darstellung/An Inhalt anpassen", "app.tag-600", "<Control>1"},
        {"Darstellung/100 %", "app.tag-601", "<Control>0"},
    };
    for (const auto& x : expects) {
        const Entry* e = find(items, x.path);
        ASSERT_TRUE(e) << x.path;
        EXPECT_EQ(e->action, x.action) << x.path;
        EXPECT_EQ(e->accel, x.accel) << x.path;
        if (*x.accel) {
            EXPECT_EQ(primaryAccel(app, x.action), x.accel) << "application accelerator of " << x.action;
        }
    }

    // Undo and Redo show their keys, but the page sees the keys first: no application accelerator.
    for (const auto& [path, action, accel] :
         {std::tuple{"Bearbeiten/Widerrufen", "app.tag-702", "<Control>z"},
          std::tuple{"Bearbeiten/Wiederholen", "app.tag-703", "<Control><Shift>z"}}) {
        const Entry* e = find(items, path);
        ASSERT_TRUE(e) << path;
        EXPECT_EQ(e->action, action);
        EXPECT_EQ(e->accel, accel);
        EXPECT_EQ(primaryAccel(app, action), "") << action;
    }

    // The import item: markup that Pango accepts, with the badge drawn bold, small, white on teal.
    const Entry* import = nullptr;
    for (const auto& [p, e] : items)
        if (e.action == "app.tag-9") import = &e;
    ASSERT_TRUE(import);
    EXPECT_TRUE(import->markup);
    g_autofree char* text = nullptr;
    PangoAttrList* attrs = nullptr;
    ASSERT_TRUE(pango_parse_markup(import->label.c_str(), -1, 0, &attrs, &text, nullptr, nullptr)) << import->label;
    EXPECT_STREQ(text, "PDF-Vorlage importieren  BETA  …");
    bool teal = false;
    for (GSList* l = pango_attr_list_get_attributes(attrs); l; l = l->next) {
        auto* a = static_cast<PangoAttribute*>(l->data);
        if (a->klass->type == PANGO_ATTR_BACKGROUND) {
            auto c = reinterpret_cast<PangoAttrColor*>(a)->color;
            teal = c.red == 3277 && c.green == 40632 && c.blue == 36044;
            EXPECT_EQ(std::string(text).substr(a->start_index, a->end_index - a->start_index), " BETA ");
        }
        pango_attribute_destroy(a);
    }
    pango_attr_list_unref(attrs);
    EXPECT_TRUE(teal);

    EXPECT_TRUE(checked(app, "tag-402"));
    EXPECT_TRUE(checked(app, "tag-500"));
    EXPECT_FALSE(checked(app, "tag-507"));

    // Quit goes through the application's quit path; About opens a dialog titled in the language.
    int quits = 0;
    // This page has nothing unsaved, so the quit confirmation ends at once.
    app::installQuitConfirmation(shell.app(), {[](const std::string& k) { return k; }, [&] { ++quits; }, {}});
    activate(app, "quit");
    EXPECT_TRUE(runUntil([&] { return quits == 1; }));  // after the menu event, from the main queue
    activate(app, "about");
    GtkWindow* about = nullptr;
    ASSERT_TRUE(runUntil([&] {
        GListModel* tops = gtk_window_get_toplevels();
        for (guint i = 0; i < g_list_model_get_n_items(tops); ++i) {
            g_autoptr(GObject) w = G_OBJECT(g_list_model_get_item(tops, i));
            if (GTK_IS_ABOUT_DIALOG(w)) about = GTK_WINDOW(w);
        }
        return about != nullptr;
    }));
    EXPECT_STREQ(gtk_window_get_title(about), "Über TAVRIK");
    gtk_window_destroy(about);
}

// A second window whose child is a web view, and a third whose web view sits one level too deep.
struct ExtraWindow {
    GtkWindow* window;
    WebKitWebView* view;
    ExtraWindow(GtkApplication* app, bool nested) {
        window = GTK_WINDOW(gtk_window_new());
        gtk_window_set_application(window, app);
        view = WEBKIT_WEB_VIEW(webkit_web_view_new());
        if (nested) {
            GtkWidget* outer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
            GtkWidget* inner = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
            gtk_box_append(GTK_BOX(inner), GTK_WIDGET(view));
            gtk_box_append(GTK_BOX(outer), inner);
            gtk_window_set_child(window, outer);
        } else {
            gtk_window_set_child(window, GTK_WIDGET(view));
        }
        webkit_web_view_load_html(view, kPage, "file:///extra/");
        gtk_window_present(window);
    }
    ~ExtraWindow() { gtk_window_destroy(window); }
    std::string calls() {
        std::string result;
        bool done = false;
        struct Ctx {
            std::string* result;
            bool* done;
        } ctx{&result, &done};
        webkit_web_view_evaluate_javascript(
            view, "JSON.stringify(calls)", -1, nullptr, nullptr, nullptr,
            [](GObject* src, GAsyncResult* res, gpointer data) noexcept {
                auto* c = static_cast<Ctx*>(data);
                if (JSCValue* v = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(src), res, nullptr)) {
                    g_autofree char* s = jsc_value_to_string(v);
                    *c->result = s ? s : "";
                    g_object_unref(v);
                }
                *c->done = true;
            },
            &ctx);
        runUntil([&] { return done; });
        return result;
    }
};

TEST(MenuBar, ChoosingAnItemCallsThePageOfEveryWindowWithADirectWebView) {
    Language zh("zh_CN.UTF-8");
    Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    GtkApplication* app = shell.app().application();
    ExtraWindow second(app, false), nested(app, true);
    ASSERT_TRUE(
        runUntil([&] { return !webkit_web_view_is_loading(second.view) && !webkit_web_view_is_loading(nested.view); }));

    activate(app, "tag-4");
    activate(app, "tag-0");
    activate(app, "tag-301");
    activate(app, "tag-403");
    // The first call is the stored language, which the shell tells every page that loads.
    ASSERT_TRUE(shell.waitFor("calls.length == 5"));
    EXPECT_EQ(shell.eval("JSON.stringify(calls)"),
              std::optional<std::string>(R"(["lang:auto","export:pdf","saveJSON","export:jpg:1","zoomsens:1.8"])"));
    EXPECT_TRUE(checked(app, "tag-403"));
    EXPECT_FALSE(checked(app, "tag-402"));
    EXPECT_EQ(second.calls(), R"(["export:pdf","saveJSON","export:jpg:1","zoomsens:1.8"])");
    EXPECT_EQ(nested.calls(), "[]");
}

TEST(MenuBar, LanguageChangesRelabelTheMenuBarAndSurviveInTheSettings) {
    Language zh("zh_CN.UTF-8");
    Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    GtkApplication* app = shell.app().application();
    EXPECT_EQ(testsupport::menuBarTitles(app)[1], "文件");

    EXPECT_EQ(shownBar(shell.window()), (std::vector<std::string>{"TAVRIK", "文件", "编辑", "视图"}));
    activate(app, "tag-507");
    ASSERT_TRUE(runUntil([&] { return testsupport::menuBarTitles(app)[1] == "Ablage"; }));
    EXPECT_TRUE(runUntil([&] {
        return shownBar(shell.window()) == std::vector<std::string>{"TAVRIK", "Ablage", "Bearbeiten", "Darstellung"};
    }));
    EXPECT_TRUE(checked(app, "tag-507"));
    EXPECT_FALSE(checked(app, "tag-500"));
    EXPECT_TRUE(shell.waitFor("calls.includes('lang:de')"));
    EXPECT_EQ(shell.app().settings().get("tavrik.lang"), std::optional<std::string>("de"));

    // The page reports its own change; then its zoom sensitivity.
    shell.eval("window.webkit.messageHandlers.canvasBridge.postMessage({action: 'langChanged', lang: 'en'})");
    ASSERT_TRUE(runUntil([&] { return testsupport::menuBarTitles(app)[1] == "File"; }));
    EXPECT_TRUE(checked(app, "tag-503"));
    shell.eval("window.webkit.messageHandlers.canvasBridge.postMessage({action: 'menuState', sens: 0.4})");
    ASSERT_TRUE(runUntil([&] { return checked(app, "tag-400"); }));
    EXPECT_FALSE(checked(app, "tag-402"));
    EXPECT_EQ(shell.eval("JSON.stringify(calls)"), std::optional<std::string>(R"(["lang:auto","lang:de"])"));
}

std::string clipboardText() {
    GdkClipboard* clipboard = gdk_display_get_clipboard(gdk_display_get_default());
    struct Ctx {
        bool done = false;
        std::string text;
    } ctx;
    gdk_clipboard_read_text_async(
        clipboard, nullptr,
        [](GObject* src, GAsyncResult* res, gpointer data) noexcept {
            auto* c = static_cast<Ctx*>(data);
            g_autofree char* text = gdk_clipboard_read_text_finish(GDK_CLIPBOARD(src), res, nullptr);
            c->text = text ? text : "";
            c->done = true;
        },
        &ctx);
    runUntil([&] { return ctx.done; });
    return ctx.text;
}

TEST(MenuBar, EditItemsActOnThePageTextField) {
    Language en("en_US.UTF-8");
    Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    GtkApplication* app = shell.app().application();
    gtk_widget_grab_focus(GTK_WIDGET(shell.webView()));
    shell.eval("field.focus(); field.select(); 1");

    activate(app, "copy");
    ASSERT_TRUE(runUntil([] { return clipboardText() == "copied from the page"; }, std::chrono::seconds(10)));

    gdk_clipboard_set_text(gdk_display_get_clipboard(gdk_display_get_default()), "pasted");
    shell.eval("field.value = ''; field.focus(); 1");
    activate(app, "paste");
    EXPECT_TRUE(shell.waitFor("field.value === 'pasted'", std::chrono::seconds(10)));

    shell.eval("field.value = 'all of it'; field.focus(); field.setSelectionRange(0, 0); 1");
    activate(app, "select-all");
    activate(app, "cut");
    EXPECT_TRUE(shell.waitFor("field.value === ''", std::chrono::seconds(10)));
    EXPECT_TRUE(runUntil([] { return clipboardText() == "all of it"; }, std::chrono::seconds(10)));
}

TEST(MenuBar, EditItemsKeepWorkingInANativeTextField) {
    Language en("en_US.UTF-8");
    Shell shell(kPage);
    ASSERT_TRUE(shell.waitLoaded());
    GtkApplication* app = shell.app().application();
    GtkWindow* window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_application(window, app);
    GtkWidget* entry = gtk_entry_new();
    gtk_window_set_child(window, entry);
    gtk_window_present(window);
    gtk_editable_set_text(GTK_EDITABLE(entry), "typed in a dialog");
    gtk_widget_grab_focus(entry);
    ASSERT_TRUE(runUntil([&] { return gtk_application_get_active_window(app) == window; }, std::chrono::seconds(5)));

    activate(app, "select-all");
    activate(app, "copy");
    EXPECT_TRUE(runUntil([] { return clipboardText() == "typed in a dialog"; }, std::chrono::seconds(10)));
    gtk_window_destroy(window);
}

}  // namespace
