// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtk/gtk.h>
#include <sys/prctl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/app_delegate.h"
#include "app/gtk_color_scheme.h"
#include "app/gtk_file_opener.h"
#include "app/options.h"
#include "app/resources.h"

namespace {

bool haveDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

}  // namespace

int main(int argc, char** argv) {
    // No other process of the user (a hijacked helper included) may read this one's memory: keys.
    prctl(PR_SET_DUMPABLE, 0);
    std::vector<std::string> args(argv + 1, argv + argc);
    app::Options options = app::parseOptions(args);
    switch (options.mode) {
        case app::Options::Mode::Help:
            std::fputs(app::helpText("tavrik").c_str(), stdout);
            return 0;
        case app::Options::Mode::Version:
            std::printf("tavrik %s\n", TAVRIK_VERSION);
            return 0;
        case app::Options::Mode::Error:
            std::fprintf(stderr, "tavrik: %s\n%s", options.error.c_str(), app::helpText("tavrik").c_str());
            return 2;
        case app::Options::Mode::Run:
            break;
    }
    if (!haveDisplay()) {
        std::fputs(
            "tavrik: no display to open the window on: neither DISPLAY nor WAYLAND_DISPLAY is set.\n"
            "Start it from a desktop session, or under a virtual X server: xvfb-run -a tavrik\n",
            stderr);
        return 1;
    }

    app::LaunchOptions launch;
    if (options.resources) {
        g_autofree char* cwd = g_get_current_dir();
        launch.resourcesDir = app::absoluteResourcesDir(*options.resources, g_get_home_dir(), cwd);
    } else {
        launch.resourcesDir = app::defaultResourcesDir();
    }
    launch.inspector = options.inspector;
    launch.watch = options.watch;
    const std::string page = launch.resourcesDir + "/html/index.html";
    if (!g_file_test(page.c_str(), G_FILE_TEST_IS_REGULAR))
        std::fprintf(stderr, "tavrik: no page at %s; the window stays empty\n", page.c_str());

    g_set_prgname("tavrik");
    g_set_application_name("TAVRIK");
    // Files given to a second start are handed to the running instance through "open".
    GtkApplication* gtkApp = gtk_application_new("org.tavrik.Tavrik", G_APPLICATION_HANDLES_OPEN);
    // Lets the session manager ask before logging out, through the same quit confirmation.
    g_object_set(gtkApp, "register-session", TRUE, nullptr);
    g_signal_connect(gtkApp, "startup", G_CALLBACK(+[](GApplication*, gpointer) noexcept { app::followColorScheme(); }),
                     nullptr);
    auto delegate = std::make_unique<app::AppDelegate>(gtkApp, launch);
    g_signal_connect(gtkApp, "activate", G_CALLBACK(+[](GApplication*, gpointer d) noexcept {
                         static_cast<app::AppDelegate*>(d)->applicationDidFinishLaunching();
                     }),
                     delegate.get());
    app::FileOpener opener(*delegate);
    g_signal_connect(gtkApp, "open", G_CALLBACK(app::FileOpener::onOpen), &opener);
    // Only the files reach GApplication's own parser, as absolute paths: the options are ours, and
    // the running instance may have another working folder.
    std::vector<std::string> files;
    g_autofree char* cwd = g_get_current_dir();
    for (const std::string& f : options.files) {
        g_autofree char* abs = g_canonicalize_filename(f.c_str(), cwd);
        files.emplace_back(abs);
    }
    std::vector<char*> appArgv{argv[0]};
    for (std::string& f : files) appArgv.push_back(f.data());
    appArgv.push_back(nullptr);
    int status = g_application_run(G_APPLICATION(gtkApp), int(appArgv.size() - 1), appArgv.data());
    opener.reset();
    delegate.reset();
    g_object_unref(gtkApp);
    return status;
}
