#pragma once
// Opening boards and PDFs given from outside the window: on the command line, by the file manager's
// "Open With", or handed on by a second start. They open as if chosen in the Open chooser, after
// asking whether to save a board with unsaved content first.
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/quit_confirmation.h"
#include "bridge/page_channel.h"
#include "bridge/page_sink.h"

namespace app {

// Boards up to this size are read; a larger file is no board this page could hold anyway.
inline constexpr std::size_t kOpenBoardLimit = 1024u * 1024u * 1024u;
// PDFs open as template pages, with the limit of the Import PDF template chooser.
inline constexpr std::size_t kOpenPdfLimit = 26'214'400;

// What a path given from outside holds, read whole.
struct OpenedFile {
    enum class Kind { Board, Pdf, Missing, Directory, Unreadable, TooLarge, NotBoard } kind;
    std::string name;     // the last component, as text
    std::string content;  // Board: the document's text; Pdf: a data URL
};
OpenedFile readOpenedFile(const std::string& path);

// The name of a failure as the page's __openFailed takes it; empty for the kinds that open.
const char* openFailure(OpenedFile::Kind kind);

class OpenFiles : public std::enable_shared_from_this<OpenFiles> {
public:
    struct Deps {
        std::weak_ptr<bridge::PageSink> page;        // where the opened files go
        std::shared_ptr<bridge::PageChannel> query;  // asks the page about unsaved content
        std::shared_ptr<QuitAlert> alert;            // save, don't save, cancel
        Translate t;
        // Runs the page's own save and reports once whether the board was written.
        std::function<void(std::function<void(bool written)>)> saveThen;
    };
    explicit OpenFiles(Deps deps) : deps_(std::move(deps)) {}

    // Opens `paths` once the page is ready; paths given meanwhile open after the ones before.
    void open(std::vector<std::string> paths);
    // The page has loaded (true) or a new load has begun (false).
    void setPageReady(bool ready);

private:
    void next();
    void onUnsaved(std::vector<std::string> paths, bool unsaved);
    void onChoice(std::vector<std::string> paths, std::size_t button);
    void deliver(const std::vector<std::string>& paths);
    void done();

    Deps deps_;
    std::deque<std::vector<std::string>> waiting_;
    bool ready_ = false;
    bool busy_ = false;
};

}  // namespace app
