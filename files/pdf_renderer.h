// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The render commands: the chunked upload table (`pdfJobs`, main thread only) and the rendering of
// each request off the main thread, in helper processes, with its pages posted to the page in order.
#include <map>
#include <memory>
#include <string>

#include "bridge/commands.h"
#include "bridge/page_sink.h"
#include "common/bytes.h"
#include "common/workers.h"
#include "files/render_process.h"

namespace files {

class PdfRenderer final : public bridge::RenderCommands {
public:
    // The sink (the bridge) is held weakly: a request whose bridge is gone renders to the end and
    // drops its page calls.
    PdfRenderer(std::weak_ptr<bridge::PageSink> sink, common::Workers& workers, RenderLimits limits);
    // The shell is going away: requests still rendering end their helpers now.
    ~PdfRenderer() override;

    void renderPDF(const json::Value& dataUrl, std::string reqId) override;
    void renderPDFBegin(std::string reqId) override;
    void renderPDFChunk(std::string reqId, const json::Value& chunk) override;
    void renderPDFEnd(std::string reqId) override;

    // Starts rendering the bytes on a worker thread; the name is not used.
    void renderPDFBytes(const std::string& name, common::Bytes data, std::string reqId);

private:
    // Starts the helpers of the next request now, on the main thread (they end with the thread
    // that started them).
    void warmUp();
    // Renders on a worker thread, then tells the page each page and the end.
    template <class Pdf>
    void submitRender(Pdf pdf, std::string reqId);

    std::weak_ptr<bridge::PageSink> sink_;
    common::Workers& workers_;
    std::shared_ptr<const RenderLimits> limits_;
    std::map<std::string, PdfUpload> pdfJobs;
};

// __pdfPageU(reqId, i, n, dataUrl) and __pdfRendered(reqId, []), through the sink if it still exists.
void notifyPDFPage(const std::weak_ptr<bridge::PageSink>& sink, const std::string& reqId, int index, int total,
                   const common::Bytes& jpeg);
void notifyPDFRendered(const std::weak_ptr<bridge::PageSink>& sink, const std::string& reqId);
// Our own addition, just before __pdfRendered of a PDF that needs a password:
// window.__pdfLocked && window.__pdfLocked(reqId), so the page can say why nothing came.
void notifyPDFLocked(const std::weak_ptr<bridge::PageSink>& sink, const std::string& reqId);
// Likewise, just before __pdfRendered of a PDF longer than the pages rendered:
// window.__pdfTruncated && window.__pdfTruncated(reqId, pageCount), pageCount being the document's.
void notifyPDFTruncated(const std::weak_ptr<bridge::PageSink>& sink, const std::string& reqId, int pageCount);

}  // namespace files
