// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's sizes are the page's: 1280 × 820 at first and never under 900 × 600, with the
// menu bar on top of that rather than taken out of it.
#include <gtest/gtest.h>

#include "support/gtk_support.h"

namespace {

bool webViewIs(testsupport::Shell& shell, int width, int height) {
    return testsupport::runUntil([&] {
        GtkWidget* view = GTK_WIDGET(shell.webView());
        return gtk_widget_get_width(view) == width && gtk_widget_get_height(view) == height;
    });
}

TEST(MainWindow, WebViewIs1280By820AtFirstAndAtLeast900By600) {
    testsupport::Shell shell(R"(<!doctype html><meta charset="utf-8"><p>page</p>)");
    ASSERT_TRUE(shell.waitLoaded());
    GtkWidget* view = GTK_WIDGET(shell.webView());
    EXPECT_TRUE(webViewIs(shell, 1280, 820)) << gtk_widget_get_width(view) << " × " << gtk_widget_get_height(view);
    // The menu bar is shown, above the page.
    EXPECT_GT(gtk_widget_get_height(GTK_WIDGET(shell.window())), 820);

    // Asked to be smaller than allowed, the window stops where the page has 900 × 600.
    gtk_window_set_default_size(shell.window(), 300, 200);
    EXPECT_TRUE(webViewIs(shell, 900, 600)) << gtk_widget_get_width(view) << " × " << gtk_widget_get_height(view);
}

TEST(MainWindow, KeepsItsSizeAndMaximisedStateInTheSettings) {
    testsupport::Shell shell(R"(<!doctype html><meta charset="utf-8"><p>page</p>)");
    ASSERT_TRUE(shell.waitLoaded());
    auto& settings = shell.app().settings();
    gtk_window_set_default_size(shell.window(), 1400, 950);
    ASSERT_TRUE(testsupport::runUntil([&] { return settings.get("window-width") == "1400"; }));
    EXPECT_EQ(settings.get("window-height"), "950");
    EXPECT_EQ(settings.get("window-maximized"), "false");
}

// What one run kept, the next start gives back.
TEST(MainWindow, ARestartGivesBackTheKeptSize) {
    for (auto [w, h] : {std::pair{1400, 950}, std::pair{1000, 700}}) {
        SCOPED_TRACE(std::to_string(w) + " × " + std::to_string(h));
        std::string kept;
        {
            testsupport::Shell first(R"(<!doctype html><meta charset="utf-8"><p>page</p>)");
            ASSERT_TRUE(first.waitLoaded());
            gtk_window_set_default_size(first.window(), w, h);
            const std::string width = std::to_string(w);
            ASSERT_TRUE(testsupport::runUntil([&] { return first.app().settings().get("window-width") == width; }));
            kept = first.settingsIni();
        }
        testsupport::Shell again(R"(<!doctype html><meta charset="utf-8"><p>page</p>)", kept);
        ASSERT_TRUE(again.waitLoaded());
        GtkWidget* window = GTK_WIDGET(again.window());
        EXPECT_TRUE(testsupport::runUntil([&] {
            return gtk_widget_get_width(window) == w && gtk_widget_get_height(window) == h;
        })) << gtk_widget_get_width(window)
            << " × " << gtk_widget_get_height(window);
    }
}

// A size kept on a larger screen than this one (the test display is 1920 × 1080) gives way to the
// first size.
TEST(MainWindow, AKeptSizeLargerThanTheScreenStartsAtTheFirstSize) {
    testsupport::Shell shell(R"(<!doctype html><meta charset="utf-8"><p>page</p>)",
                             "[settings]\nwindow-width=3000\nwindow-height=2000\nwindow-maximized=false\n");
    ASSERT_TRUE(shell.waitLoaded());
    EXPECT_TRUE(webViewIs(shell, 1280, 820));
}

}  // namespace
