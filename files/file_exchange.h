#pragma once
// The file commands: save choosers and the writers behind them, the two pickers that bring a
// document or a paper PDF to the page, and opening a page's file in its default application.
// Nothing here answers the page about saving; a failed write beeps.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bridge/commands.h"
#include "bridge/page_sink.h"
#include "common/desktop.h"
#include "common/workers.h"
#include "files/panels.h"
#include "files/pdf_builder.h"

namespace files {

// Paper PDFs above this many bytes are refused with a toast; exactly this many are accepted.
inline constexpr std::size_t kPaperLimit = 26'214'400;

// The extension of a file name as a path's last component has it: "csv" for report.final.csv,
// nothing for README or .bashrc.
std::string pathExtension(const std::string& name);

class FileExchange final : public bridge::FileCommands, public std::enable_shared_from_this<FileExchange> {
public:
    // The page is held weakly: an answer that arrives after the bridge is gone is dropped. The
    // desktop and the workers belong to the application and outlive this object.
    FileExchange(std::shared_ptr<Panels> panels, std::weak_ptr<bridge::PageSink> page, common::Desktop& desktop,
                 common::Workers& workers);

    // Each save holds one of these from its chooser until its file is written, so that quitting
    // right after "save" waits for the user's choice instead of ending under the open chooser.
    void setQuitHold(std::function<std::shared_ptr<void>()> hold) { quitHold_ = std::move(hold); }

    void saveText(std::string text, std::string defaultName, std::string ext) override;
    void saveImage(std::string dataUrl, std::string ext) override;
    void savePDF(std::string dataUrl) override;
    void savePDFPages(std::vector<std::string> pages, std::string name) override;
    void saveFile(std::string name, std::string dataUrl) override;
    void openFile(std::string name, std::string dataUrl) override;
    void openJSONFile() override;
    void openPaperPDF() override;

private:
    void saveBytes(SaveChooser chooser, common::Bytes bytes);
    void savePdf(SaveChooser chooser, std::vector<common::Bytes> images, PageLayout layout);
    void readDocument(const std::string& path);
    void readPaper(const std::string& path);
    void beep() { desktop_.beep(); }
    bool refusedName(const std::string& name);

    std::shared_ptr<Panels> panels_;
    std::weak_ptr<bridge::PageSink> page_;
    common::Desktop& desktop_;
    common::Workers& workers_;
    std::function<std::shared_ptr<void>()> quitHold_;
};

}  // namespace files
