// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Rendering a PDF in helper processes, so that a crafted file cannot crash the shell or exhaust
// its memory. Two helpers share the pages to use both cores, each asked for the next page when it
// is free; their pages are handed on in ascending order, each the moment the ones before it are.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "common/bytes.h"
#include "common/unique_fd.h"

namespace files {

class WarmHelpers;

struct RenderLimits {
    std::string helperPath;                        // the tavrik-render executable
    int processes = 2;                             // helpers per request
    long memoryMb = 1024;                          // address space of each helper
    std::chrono::milliseconds pageCpu{15000};      // CPU time one page may take in its helper (counted by the shell)
    std::chrono::milliseconds pageTimeout{20000};  // longest wait for one page before the helper is killed
    // Helpers run confined (read-only fonts and poppler data, a system-call filter). Off only to
    // measure what the confinement costs.
    enum class Sandbox { On, Off } sandbox = Sandbox::On;
    std::function<void(pid_t)> spawned;  // told each helper's process id as it joins a request (tests kill one)
    // Helpers started ahead for the next request (render_pool.h); none: each request starts its own.
    std::shared_ptr<WarmHelpers> warm;
    // Set when the shell is going away: requests in flight end their helpers at once instead of
    // keeping the exiting process alive until their last page.
    std::shared_ptr<std::atomic<bool>> abandon = std::make_shared<std::atomic<bool>>(false);
};

// Calls page(index, total, jpeg) for each rendered page in ascending index, on the calling thread,
// and returns when the request is over, or soon after limits.abandon is set. A page on which its
// helper crashes, is killed, runs out of memory or time is skipped like a page that fails to
// draw; a fresh helper goes on with the pages after it. Bytes that are not a PDF yield no page, and
// a PDF that needs a password none, with Locked returned so that the user can be told why. Only
// the first kPageLimit pages are rendered; documentPages says how many the document has.
enum class RenderEnd { Done, Locked };
struct RenderOutcome {
    RenderEnd end = RenderEnd::Done;
    int documentPages = 0;
};
RenderOutcome renderIsolated(const common::Bytes& pdf, const RenderLimits& limits,
                             const std::function<void(int index, int total, common::Bytes jpeg)>& page);

// A PDF arriving in pieces, written straight into the in-memory file its helpers will map, so that
// the shell never holds the whole upload in its own memory. Move-only.
class PdfUpload {
public:
    PdfUpload();
    ~PdfUpload();
    PdfUpload(PdfUpload&& other) noexcept;
    PdfUpload& operator=(PdfUpload&& other) noexcept;

    // Adds bytes at the end. An upload whose file could not be made or written renders nothing.
    void append(const std::uint8_t* data, std::size_t size);

private:
    friend RenderOutcome renderIsolated(PdfUpload upload, const RenderLimits& limits,
                                        const std::function<void(int, int, common::Bytes)>& page);
    common::UniqueFd fd_;
    bool failed_ = false;
    std::size_t size_ = 0;
};

// Renders what was uploaded; an empty or failed upload yields no page.
RenderOutcome renderIsolated(PdfUpload upload, const RenderLimits& limits,
                             const std::function<void(int index, int total, common::Bytes jpeg)>& page);

// $TAVRIK_RENDER_HELPER if set, else the helper beside the running executable (build tree), else
// the installed one: the install's libexec folder relative to its bin folder, from the running
// executable's real place.
std::string defaultHelperPath();

}  // namespace files
