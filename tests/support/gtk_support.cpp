// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/gtk_support.h"

#include <glib/gstdio.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace testsupport {
namespace fs = std::filesystem;

bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        // Block briefly for events rather than spin; a timeout source bounds each wait.
        bool fired = false;
        guint tick = g_timeout_add(
            10, [](gpointer f) noexcept -> gboolean { return *static_cast<bool*>(f) = true, G_SOURCE_REMOVE; }, &fired);
        g_main_context_iteration(nullptr, TRUE);
        if (!fired) g_source_remove(tick);
    }
    return true;
}

Program::Program(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    g_auto(GStrv) envp = g_get_environ();
    for (const std::string& e : env) {
        auto eq = e.find('=');
        envp = g_environ_setenv(envp, e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), TRUE);
    }
    GPid pid = 0;
    g_autoptr(GError) error = nullptr;
    if (!g_spawn_async(nullptr, argv.data(), envp, GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                       nullptr, nullptr, &pid, &error)) {
        g_printerr("cannot start %s: %s\n", args.front().c_str(), error ? error->message : "?");
        return;
    }
    pid_ = pid;
    watch_ = g_child_watch_add(
        pid,
        +[](GPid p, gint status, gpointer self) noexcept {
            auto* program = static_cast<Program*>(self);
            program->exited_ = true;
            program->status_ = status;
            program->watch_ = 0;
            g_spawn_close_pid(p);
        },
        this);
}

Program::~Program() {
    if (!started() || exited_) return;
    g_source_remove(watch_);
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

bool Program::waitExit(std::chrono::milliseconds limit) {
    return started() && runUntil([this] { return exited_; }, limit);
}

void Program::signal(int sig) {
    if (started() && !exited_) kill(pid_, sig);
}

bool runProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
    Program program(argv);
    return program.waitExit(limit) && program.succeeded();
}

TempDir::TempDir() {
    g_autofree char* p = g_dir_make_tmp("tavrik-test-XXXXXX", nullptr);
    path_ = p ? p : "";
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) {
        // Tests may leave read-only folders behind; make them writable so removal succeeds.
        for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
}

void TempDir::write(const std::string& name, const std::string& contents) const {
    fs::path p = fs::path(path_) / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << contents;
}

std::vector<std::string> menuBarTitles(GtkApplication* app) {
    std::vector<std::string> titles;
    GMenuModel* bar = gtk_application_get_menubar(app);
    for (int i = 0; bar && i < g_menu_model_get_n_items(bar); ++i) {
        g_autofree char* label = nullptr;
        g_menu_model_get_item_attribute(bar, i, G_MENU_ATTRIBUTE_LABEL, "s", &label);
        titles.push_back(label ? label : "");
    }
    return titles;
}

void isolateXdg(const TempDir& dir) {
    for (const char* sub : {"config", "data", "runtime"}) fs::create_directories(dir.file(sub));
    fs::permissions(dir.file("runtime"), fs::perms::owner_all, fs::perm_options::replace);
    setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
    setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir.file("runtime").c_str(), 1);
}

namespace {

// GLib reads the XDG folders once per process, and WebKit's default network session keeps site
// storage (IndexedDB, localStorage) under the first data folder for as long as the process lives.
// Were that the first shell's folder, it would be deleted with that shell while the network process
// still had it open, and a later shell's stored data would be lost when its database was reopened.
// So the storage gets a folder of the process, and every shell starts on empty storage, as at a
// first start, whatever the shells before it left.
void freshSiteStorage() {
    static const TempDir processHome;
    [[maybe_unused]] static const bool pinned = [] {
        isolateXdg(processHome);
        return webkit_network_session_get_default() != nullptr;
    }();
    WebKitWebsiteDataManager* data =
        webkit_network_session_get_website_data_manager(webkit_network_session_get_default());
    // The flag lives on the heap: a clear that outlasts the wait below must not write into this frame.
    auto cleared = std::make_shared<bool>(false);
    webkit_website_data_manager_clear(
        data, WEBKIT_WEBSITE_DATA_ALL, 0, nullptr,
        [](GObject* src, GAsyncResult* res, gpointer flag) noexcept {
            std::unique_ptr<std::shared_ptr<bool>> done(static_cast<std::shared_ptr<bool>*>(flag));
            webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(src), res, nullptr);
            **done = true;
        },
        new std::shared_ptr<bool>(cleared));
    if (!runUntil([&] { return *cleared; })) g_printerr("site storage not cleared\n");
}

}  // namespace

Shell::Shell(const std::string& pageHtml, const std::string& settingsIni) {
    freshSiteStorage();
    isolateXdg(xdg_);
    if (!settingsIni.empty()) xdg_.write("config/TAVRIK/settings.ini", settingsIni);
    if (!pageHtml.empty()) resources_.write("html/index.html", pageHtml);
    static int serial = 0;
    std::string id = "org.tavrik.TavrikTest" + std::to_string(++serial);
    gtkApp_ = gtk_application_new(id.c_str(), G_APPLICATION_NON_UNIQUE);
    g_autoptr(GError) error = nullptr;
    if (!g_application_register(G_APPLICATION(gtkApp_), nullptr, &error))
        g_printerr("test application not registered: %s\n", error ? error->message : "?");
    app::LaunchOptions options;
    options.resourcesDir = resources_.path();
    delegate_ = std::make_unique<app::AppDelegate>(gtkApp_, options);
    delegate_->applicationDidFinishLaunching();
}

Shell::~Shell() {
    delegate_.reset();
    runUntil([] { return !g_main_context_pending(nullptr); }, std::chrono::seconds(2));
    g_object_unref(gtkApp_);
}

std::string Shell::settingsIni() const {
    g_autofree char* text = nullptr;
    if (!g_file_get_contents(xdg_.file("config/TAVRIK/settings.ini").c_str(), &text, nullptr, nullptr)) return "";
    return text;
}

bool Shell::waitLoaded() {
    return runUntil([this] { return !webkit_web_view_is_loading(webView()) && webkit_web_view_get_uri(webView()); });
}

std::optional<std::string> Shell::eval(const std::string& script) {
    // The state lives on the heap and the completion owns a reference to it: an evaluation that
    // outlasts the wait below must write into live memory, not into this returned frame.
    struct State {
        bool done = false;
        std::optional<std::string> result;
    };
    auto state = std::make_shared<State>();
    webkit_web_view_evaluate_javascript(
        webView(), script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* src, GAsyncResult* res, gpointer data) noexcept {
            std::unique_ptr<std::shared_ptr<State>> st(static_cast<std::shared_ptr<State>*>(data));
            g_autoptr(GError) error = nullptr;
            JSCValue* v = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(src), res, &error);
            if (v) {
                g_autofree char* s = jsc_value_to_string(v);
                (*st)->result = s ? s : "";
                g_object_unref(v);
            }
            (*st)->done = true;
        },
        new std::shared_ptr<State>(state));
    runUntil([&] { return state->done; });
    return state->result;
}

bool Shell::waitFor(const std::string& script, std::chrono::milliseconds limit) {
    return runUntil([&] { return eval("!!(" + script + ")") == std::optional<std::string>("true"); }, limit);
}

}  // namespace testsupport
