// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/pdf_renderer.h"

#include "common/base64.h"
#include "common/data_url.h"
#include "files/render_page.h"
#include "files/render_pool.h"

namespace files {

namespace {

RenderLimits withWarmHelpers(RenderLimits limits) {
    if (!limits.warm) limits.warm = std::make_shared<WarmHelpers>();
    return limits;
}

}  // namespace

PdfRenderer::PdfRenderer(std::weak_ptr<bridge::PageSink> sink, common::Workers& workers, RenderLimits limits)
    : sink_(std::move(sink)),
      workers_(workers),
      limits_(std::make_shared<const RenderLimits>(withWarmHelpers(std::move(limits)))) {}

PdfRenderer::~PdfRenderer() {
    *limits_->abandon = true;
    limits_->warm->clear();
}

void PdfRenderer::warmUp() { limits_->warm->fill(*limits_, limits_->processes); }

void PdfRenderer::renderPDF(const json::Value& dataUrl, std::string reqId) {
    // A data URL the page sent as canonical base64 arrives decoded: its payload (the part after the
    // last comma: the base64 holds none) is exactly those bytes.
    if (auto* e = dataUrl.encoded(); e && !e->bytes().empty()) {
        submitRender(e->sharedBytes(), std::move(reqId));
        return;
    }
    std::optional<common::Bytes> bytes = common::dataurl::decode(*dataUrl.string());
    if (!bytes) {
        notifyPDFRendered(sink_, reqId);
        return;
    }
    renderPDFBytes("", std::move(*bytes), std::move(reqId));
}

void PdfRenderer::renderPDFBegin(std::string reqId) {
    // The helpers start while the upload comes in.
    warmUp();
    pdfJobs.insert_or_assign(std::move(reqId), PdfUpload());
}

void PdfRenderer::renderPDFChunk(std::string reqId, const json::Value& chunk) {
    auto job = pdfJobs.find(reqId);
    if (job == pdfJobs.end()) return;
    if (auto* e = chunk.encoded(); e && e->prefix().empty()) {
        job->second.append(e->bytes().data(), e->bytes().size());
        return;
    }
    // Each chunk is base64 by itself; one that is not is dropped and the job stays open.
    if (auto bytes = common::base64::decode(*chunk.string())) job->second.append(bytes->data(), bytes->size());
}

void PdfRenderer::renderPDFEnd(std::string reqId) {
    auto job = pdfJobs.find(reqId);
    if (job == pdfJobs.end()) return;
    PdfUpload upload = std::move(job->second);
    pdfJobs.erase(job);
    submitRender(std::move(upload), std::move(reqId));
}

void PdfRenderer::renderPDFBytes(const std::string&, common::Bytes data, std::string reqId) {
    submitRender(std::make_shared<const common::Bytes>(std::move(data)), std::move(reqId));
}

namespace {

PdfUpload asUpload(PdfUpload&& upload) { return std::move(upload); }

// Copied into the helpers' file on the worker thread; the bytes are let go of then, not after the
// last page.
PdfUpload asUpload(std::shared_ptr<const common::Bytes>&& bytes) {
    PdfUpload upload;
    upload.append(bytes->data(), bytes->size());
    bytes.reset();
    return upload;
}

}  // namespace

template <class Pdf>
void PdfRenderer::submitRender(Pdf pdf, std::string reqId) {
    // Held by a shared pointer because a worker's job is copied.
    workers_.submit(
        [pdf = std::make_shared<Pdf>(std::move(pdf)), sink = sink_, limits = limits_, reqId = std::move(reqId)] {
            RenderOutcome out = renderIsolated(
                asUpload(std::move(*pdf)), *limits,
                [&](int index, int total, common::Bytes jpeg) { notifyPDFPage(sink, reqId, index, total, jpeg); });
            if (out.end == RenderEnd::Locked) notifyPDFLocked(sink, reqId);
            if (out.documentPages > kPageLimit) notifyPDFTruncated(sink, reqId, out.documentPages);
            notifyPDFRendered(sink, reqId);
        });
}

void notifyPDFPage(const std::weak_ptr<bridge::PageSink>& sink, const std::string& reqId, int index, int total,
                   const common::Bytes& jpeg) {
    auto s = sink.lock();
    if (!s) return;
    s->pushPositional("__pdfPageU", json::Array{reqId, index, total, common::dataurl::make("image/jpeg", jpeg)});
}

void notifyPDFLocked(const std::weak_ptr<bridge::PageSink>& sink, const std::string& reqId) {
    auto s = sink.lock();
    if (!s) return;
    s->callGuarded("__pdfLocked", reqId);
}

void notifyPDFTruncated(const std::weak_ptr<bridge::PageSink>& sink, const std::string& reqId, int pageCount) {
    if (auto s = sink.lock()) s->callGuardedPositional("__pdfTruncated", json::Array{reqId, pageCount});
}

void notifyPDFRendered(const std::weak_ptr<bridge::PageSink>& sink, const std::string& reqId) {
    if (auto s = sink.lock()) s->pushPositional("__pdfRendered", json::Array{reqId, json::Array{}});
}

}  // namespace files
