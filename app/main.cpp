#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/app_delegate.h"
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
    launch.resourcesDir = options.resources ? *options.resources : app::defaultResourcesDir();
    launch.inspector = options.inspector;
    if (!g_file_test((launch.resourcesDir + "/html/index.html").c_str(), G_FILE_TEST_IS_REGULAR))
        std::fprintf(stderr, "tavrik: no html/index.html in %s; the window stays empty\n", launch.resourcesDir.c_str());

    g_set_prgname("tavrik");
    g_set_application_name("TAVRIK");
    GtkApplication* gtkApp = gtk_application_new("org.tavrik.Tavrik", G_APPLICATION_DEFAULT_FLAGS);
    // Lets the session manager ask before logging out, through the same quit confirmation.
    g_object_set(gtkApp, "register-session", TRUE, nullptr);
    auto delegate = std::make_unique<app::AppDelegate>(gtkApp, launch);
    g_signal_connect(gtkApp, "activate", G_CALLBACK(+[](GApplication*, gpointer d) noexcept {
                         static_cast<app::AppDelegate*>(d)->applicationDidFinishLaunching();
                     }),
                     delegate.get());
    char* appArgv[] = {argv[0], nullptr};
    int status = g_application_run(G_APPLICATION(gtkApp), 1, appArgv);
    delegate.reset();
    g_object_unref(gtkApp);
    return status;
}
