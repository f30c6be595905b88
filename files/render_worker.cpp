// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/render_worker.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
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

// Reads exactly size bytes; false at the end of the stream or on an error.
bool readExact(int fd, void* data, std::size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The PDF, mapped from the sealed file the shell passes over the command socket (the same file for
// every helper of a request). Waits until the shell has one.
struct Input {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

bool receiveInput(Input& in) {
    std::uint32_t magic = 0;
    iovec iov{&magic, sizeof magic};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    while ((n = recvmsg(STDIN_FILENO, &msg, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
    }
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    if (n != sizeof magic || !c || c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) return false;
    int fd;
    std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
    common::UniqueFd file(fd);
    struct stat st {};
    if (magic != wire::kMagic || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return false;
    void* p = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, file.get(), 0);
    if (p == MAP_FAILED) return false;
    in.data = static_cast<const std::uint8_t*>(p);
    in.size = static_cast<std::size_t>(st.st_size);
    return true;
}

// What every document needs, done while the helper waits for its first: poppler's global tables
// and fontconfig's configuration. A started helper then draws its first page as soon as it has one.
void warmUp() {
    static const char kBlank[] =
        "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
        "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
        "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 8 8] >> endobj\n"
        "trailer << /Root 1 0 R >>\n%%EOF\n";
    PopplerPdf::open(reinterpret_cast<const std::uint8_t*>(kBlank), sizeof kBlank - 1);
    PopplerPdf::warmFonts();
}

}  // namespace

int renderWorkerMain(int argc, char** argv) {
    // Die with the shell rather than render for nobody.
    pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) return 1;
    if (argc != 4) return 2;
    long memoryMb = std::strtol(argv[1], nullptr, 10);
    long pageCpuMs = std::strtol(argv[2], nullptr, 10);
    bool confined = std::strcmp(argv[3], "0") != 0;
    if (memoryMb < 16 || pageCpuMs < 1) return 2;

    // Limits before the first byte of the PDF is parsed: a crafted file may loop or allocate
    // gigabytes; the kernel ends this process instead, and the shell goes on.
    limit(RLIMIT_AS, static_cast<rlim_t>(memoryMb) << 20);
    limit(RLIMIT_CORE, 0);
    signal(SIGPIPE, SIG_DFL);

    warmUp();
    Input in;
    // A helper let go of unused (the shell is quitting) ends here.
    if (!receiveInput(in)) return writeFrame(wire::kMagic, 0, nullptr) ? 0 : 1;
    // The CPU time each page may take is counted by the shell, from outside, where nothing a
    // crafted file makes this process do can switch it off.
    if (confined && !sandbox::enter(sandbox::renderReadPaths()).ok) {
        // Told before anything is parsed: the shell renders nothing and says why.
        writeFrame(wire::kMagic, wire::kUnconfined, nullptr);
        return 3;
    }
    bool locked = false;
    std::unique_ptr<PopplerPdf> pdf = PopplerPdf::open(in.data, in.size, &locked);
    if (locked) return writeFrame(wire::kMagic, wire::kLocked, nullptr) ? 0 : 1;
    int count = pdf ? std::max(pdf->pageCount(), 0) : 0;
    // The header tells the document's own count, so that the page can say what was left out; only
    // the first kPageLimit pages are rendered.
    if (!writeFrame(wire::kMagic, static_cast<std::uint32_t>(count), nullptr)) return 1;
    std::uint32_t n = static_cast<std::uint32_t>(std::min(count, kPageLimit));
    // The shell asks for one page at a time, a page or two ahead, and closes the socket when it
    // wants no more.
    for (std::uint32_t i; readExact(STDIN_FILENO, &i, sizeof i);) {
        std::optional<common::Bytes> jpeg = i < n ? pdf->renderJpeg(static_cast<int>(i)) : std::nullopt;
        bool ok = jpeg && !jpeg->empty() && jpeg->size() <= wire::kMaxFrame;
        if (!writeFrame(i, ok ? static_cast<std::uint32_t>(jpeg->size()) : 0, ok ? &*jpeg : nullptr)) return 1;
    }
    return 0;
}

}  // namespace files
