#include "app/gtk_file_opener.h"

#include "app/gtk_quit_alert.h"
#include "bridge/webkit_page_channel.h"
#include "menu/l10n.h"

namespace app {
namespace {

// Runs the page's own save (as the File menu's Save does) and waits for the shell's report of how
// it ended, which reaches the page as window.__saveResult; any page function already there still
// gets the report.
constexpr const char* kSaveThenReport = R"JS(
return await new Promise((resolve) => {
  const before = window.__saveResult;
  if (typeof window.__menuAction !== 'function') return resolve(false);
  window.__saveResult = (r) => {
    window.__saveResult = before;
    try { if (typeof before === 'function') before(r); } finally {
      resolve(!!(r && r.ok === true && (r.action === undefined || r.action === 'saveJSON')));
    }
  };
  window.__menuAction('saveJSON');
});
)JS";

using Written = std::function<void(bool)>;

void saveThen(const gobj::Weak<WebKitWebView>& weakView, Written done) {
    auto view = weakView.lock();
    if (!view) return done(false);
    webkit_web_view_call_async_javascript_function(
        view.get(), kSaveThenReport, -1, nullptr, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) noexcept {
            std::unique_ptr<Written> done(static_cast<Written*>(data));
            g_autoptr(GError) error = nullptr;
            JSCValue* value =
                webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
            bool written = value && jsc_value_is_boolean(value) && jsc_value_to_boolean(value);
            if (value) g_object_unref(value);
            (*done)(written);
        },
        new Written(std::move(done)));
}

}  // namespace

void FileOpener::onOpen(GApplication*, GFile** files, gint count, const gchar*, gpointer self) noexcept {
    std::vector<std::string> paths;
    for (gint i = 0; i < count; ++i) {
        g_autofree char* path = g_file_get_path(files[i]);
        if (path) {
            paths.emplace_back(path);
        } else {
            g_autofree char* uri = g_file_get_uri(files[i]);
            paths.emplace_back(uri ? uri : "");
        }
    }
    static_cast<FileOpener*>(self)->open(std::move(paths));
}

void FileOpener::open(std::vector<std::string> paths) {
    // Opened files come with no "activate": the window is made here, or brought to the front.
    app_.applicationDidFinishLaunching();
    if (!opener_) wire();
    if (opener_) opener_->open(std::move(paths));
}

void FileOpener::wire() {
    WebKitWebView* view = app_.webView();
    if (!view || !app_.bridge()) return;
    auto weakView = std::make_shared<gobj::Weak<WebKitWebView>>(view);
    OpenFiles::Deps deps{
        app_.bridge(),
        std::make_shared<bridge::WebkitPageChannel>(view),
        std::make_shared<GtkQuitAlert>(app_.application()),
        [](const std::string& key) { return menu::L10N::t(key); },
        [weakView](Written done) { saveThen(*weakView, std::move(done)); },
    };
    opener_ = std::make_shared<OpenFiles>(std::move(deps));
    // The page's functions exist once its load has finished, after its own start (and any
    // recovery copy it offers), so an opened board comes last and wins.
    loadChanged_ = gobj::SignalConnection(
        view, g_signal_connect(view, "load-changed",
                               G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer self) noexcept {
                                   auto* opener = static_cast<FileOpener*>(self);
                                   if (!opener->opener_) return;
                                   if (event == WEBKIT_LOAD_STARTED) opener->opener_->setPageReady(false);
                                   if (event == WEBKIT_LOAD_FINISHED) opener->opener_->setPageReady(true);
                               }),
                               this));
    if (!webkit_web_view_is_loading(view) && webkit_web_view_get_uri(view)) opener_->setPageReady(true);
}

void FileOpener::reset() {
    loadChanged_.reset();
    opener_.reset();
}

}  // namespace app
