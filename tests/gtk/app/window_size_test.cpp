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

// What one run kept, the next start gives back: the same size, unless it no longer fits the screen
// (the test display is 1920 × 1080), when the window starts at its first size.
TEST(MainWindow, ARestartGivesBackTheKeptSizeWhereItFits) {
    struct Case {
        int width, height;
        bool fits;
    } cases[] = {{1400, 950, true}, {1000, 700, true}, {3000, 2000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " × " + std::to_string(c.height));
        std::string kept;
        {
            testsupport::Shell first(R"(<!doctype html><meta charset="utf-8"><p>page</p>)");
            ASSERT_TRUE(first.waitLoaded());
            gtk_window_set_default_size(first.window(), c.width, c.height);
            const std::string width = std::to_string(c.width);
            ASSERT_TRUE(testsupport::runUntil([&] { return first.app().settings().get("window-width") == width; }));
            kept = first.settingsIni();
        }
        testsupport::Shell again(R"(<!doctype html><meta charset="utf-8"><p>page</p>)", kept);
        ASSERT_TRUE(again.waitLoaded());
        int width = 0, height = 0;
        gtk_window_get_default_size(again.window(), &width, &height);
        if (c.fits) {
            EXPECT_EQ(width, c.width);
            EXPECT_EQ(height, c.height);
            EXPECT_TRUE(testsupport::runUntil([&] {
                return gtk_widget_get_width(GTK_WIDGET(again.window())) == c.width &&
                       gtk_widget_get_height(GTK_WIDGET(again.window())) == c.height;
            })) << gtk_widget_get_width(GTK_WIDGET(again.window()))
                << " × " << gtk_widget_get_height(GTK_WIDGET(again.window()));
        } else {
            EXPECT_TRUE(webViewIs(again, 1280, 820));
        }
    }
}

}  // namespace
