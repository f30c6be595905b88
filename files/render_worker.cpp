// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/render_worker.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/unique_fd.h"
#include "files/poppler_pdf.h"
#include "files/render_helper/sandbox.h"
#include "files/render_page.h"
#include "files/render_wire.h"

namespace files {
namespace {

void limit(int resource, rlim_t value) {
    rlimit r{value, value};
    setrlimit(resource, &r);
}

bool writeFrame(std::uint32_t a, std::uint32_t b, const common::Bytes* payload) {
    std::uint32_t head[2] = {a, b};
    if (!common::writeAll(STDOUT_FILENO, head, sizeof head)) return false;
    return !payload || common::writeAll(STDOUT_FILENO, payload->data(), payload->size());
}

// The PDF on standard input: mapped when it is a file (the shell passes a sealed memfd that both
// helpers share), read otherwise.
struct Input {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    common::Bytes buffer;
};

bool readInput(Input& in) {
    struct stat st {};
    if (fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode)) {
        if (st.st_size <= 0) return false;
        void* p = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, STDIN_FILENO, 0);
        if (p == MAP_FAILED) return false;
        in.data = static_cast<const std::uint8_t*>(p);
        in.size = static_cast<std::size_t>(st.st_size);
        return true;
    }
    char chunk[65536];
    for (;;) {
        ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        in.buffer.insert(in.buffer.end(), chunk, chunk + n);
    }
    in.data = in.buffer.data();
    in.size = in.buffer.size();
    return in.size > 0;
}

}  // namespace

int renderWorkerMain(int argc, char** argv) {
    // Die with the shell rather than render for nobody.
    pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) return 1;
    if (argc != 6) return 2;
    long first = std::strtol(argv[1], nullptr, 10);
    long stride = std::strtol(argv[2], nullptr, 10);
    long memoryMb = std::strtol(argv[3], nullptr, 10);
    long pageCpuMs = std::strtol(argv[4], nullptr, 10);
    bool confined = std::strcmp(argv[5], "0") != 0;
    if (first < 0 || stride < 1 || memoryMb < 16 || pageCpuMs < 1) return 2;

    // Limits before the first byte of the PDF is parsed: a crafted file may loop or allocate
    // gigabytes; the kernel ends this process instead, and the shell goes on.
    limit(RLIMIT_AS, static_cast<rlim_t>(memoryMb) << 20);
    limit(RLIMIT_CORE, 0);
    signal(SIGPIPE, SIG_DFL);

    Input in;
    bool mapped = readInput(in);
    // The CPU time each page may take is counted by the shell, from outside, where nothing a
    // crafted file makes this process do can switch it off.
    if (confined && !sandbox::enter(sandbox::renderReadPaths()).ok) {
        // Told before anything is parsed: the shell renders nothing and says why.
        writeFrame(wire::kMagic, wire::kUnconfined, nullptr);
        return 3;
    }
    bool locked = false;
    std::unique_ptr<PopplerPdf> pdf = mapped ? PopplerPdf::open(in.data, in.size, &locked) : nullptr;
    if (locked) return writeFrame(wire::kMagic, wire::kLocked, nullptr) ? 0 : 1;
    int count = pdf ? std::max(pdf->pageCount(), 0) : 0;
    // The header tells the document's own count, so that the page can say what was left out; only
    // the first kPageLimit pages are rendered.
    if (!writeFrame(wire::kMagic, static_cast<std::uint32_t>(count), nullptr)) return 1;
    std::uint32_t n = static_cast<std::uint32_t>(std::min(count, kPageLimit));
    for (std::uint32_t i = static_cast<std::uint32_t>(first); i < n; i += static_cast<std::uint32_t>(stride)) {
        std::optional<common::Bytes> jpeg = pdf->renderJpeg(static_cast<int>(i));
        bool ok = jpeg && !jpeg->empty() && jpeg->size() <= wire::kMaxFrame;
        if (!writeFrame(i, ok ? static_cast<std::uint32_t>(jpeg->size()) : 0, ok ? &*jpeg : nullptr)) return 1;
    }
    return 0;
}

}  // namespace files
