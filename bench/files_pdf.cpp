// SPDX-License-Identifier: GPL-3.0-or-later
// PDF export and paper import, measured. Each row runs in its own child process so that its peak
// resident memory (getrusage ru_maxrss) is its own.
//
//   bench_files_pdf [photos]     default 20 photos of 4000 × 3000
#include <cairo-pdf.h>
#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib/gstdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bridge/bridge.h"
#include "common/base64.h"
#include "fakes/fakes.h"
#include "files/file_exchange.h"
#include "files/image_source.h"
#include "files/pdf_builder.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Row {
    double seconds = 0;
    double outputMB = 0;
    double peakMB = 0;
    double startMB = 0;
    bool ok = false;
};

double rssMB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1048576.0);
}

struct Outcome {
    double bytes = -1;    // the output's size; negative on failure
    double seconds = -1;  // the measured span, when it is narrower than the whole run
};

// Runs `work` in a child process.
Row measure(const std::function<Outcome()>& work) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Row r;
        r.startMB = rssMB();
        auto t0 = Clock::now();
        Outcome o = work();
        double bytes = o.bytes;
        r.seconds = o.seconds >= 0 ? o.seconds : std::chrono::duration<double>(Clock::now() - t0).count();
        struct rusage ru {};
        getrusage(RUSAGE_SELF, &ru);
        r.peakMB = ru.ru_maxrss / 1024.0;
        r.outputMB = bytes / 1048576.0;
        r.ok = bytes >= 0;
        ssize_t written = write(fds[1], &r, sizeof r);
        _exit(written == sizeof r ? 0 : 1);
    }
    close(fds[1]);
    Row r;
    if (read(fds[0], &r, sizeof r) != sizeof r) r = {};
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return r;
}

// A photo-like picture: smooth colour fields under fine noise, which JPEG cannot squeeze away.
common::Bytes makePhoto(int w, int h, int seed) {
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, w, h);
    guchar* px = gdk_pixbuf_get_pixels(pb);
    int stride = gdk_pixbuf_get_rowstride(pb);
    std::minstd_rand rng(seed);
    for (int y = 0; y < h; ++y) {
        guchar* row = px + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < w; ++x) {
            int n = static_cast<int>(rng() % 32) - 16;
            row[3 * x + 0] = static_cast<guchar>(std::clamp((x * 255 / w + seed * 37) % 256 + n, 0, 255));
            row[3 * x + 1] = static_cast<guchar>(std::clamp((y * 255 / h) + n, 0, 255));
            row[3 * x + 2] = static_cast<guchar>(std::clamp(((x + y) * 255 / (w + h) + seed * 11) % 256 + n, 0, 255));
        }
    }
    gchar* buf = nullptr;
    gsize len = 0;
    gdk_pixbuf_save_to_buffer(pb, &buf, &len, "jpeg", nullptr, "quality", "90", nullptr);
    common::Bytes out(buf, buf + len);
    g_free(buf);
    g_object_unref(pb);
    return out;
}

double fileSize(const std::string& path) {
    std::error_code ec;
    auto n = fs::file_size(path, ec);
    return ec ? -1 : static_cast<double>(n);
}

// The way round that embedding avoids: decode every photo and let the PDF writer store pixels.
double decodeAndDraw(const std::vector<common::Bytes>& photos, const std::string& path) {
    cairo_surface_t* pdf = cairo_pdf_surface_create(path.c_str(), 595, 595);
    for (const auto& bytes : photos) {
        cairo_surface_t* img = files::decodeImage(bytes);
        if (!img) continue;
        int w = cairo_image_surface_get_width(img), h = cairo_image_surface_get_height(img);
        auto box = files::pageBoxFor(files::PageLayout::A4Width, w, h);
        cairo_pdf_surface_set_size(pdf, box.width, box.height);
        cairo_t* cr = cairo_create(pdf);
        cairo_scale(cr, box.width / w, box.height / h);
        cairo_set_source_surface(cr, img, 0, 0);
        cairo_paint(cr);
        cairo_show_page(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(img);
    }
    cairo_surface_finish(pdf);
    bool ok = cairo_surface_status(pdf) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(pdf);
    return ok ? fileSize(path) : -1;
}

// The paper import as the shell runs it: the chooser answers, the file is read and encoded, and
// the bridge writes the page call. Returns the length of the page call's text.
struct OnePanel final : files::Panels {
    files::PanelAnswer answer;
    bool save(const files::SaveChooser&, files::PanelAnswer) override { return false; }
    bool open(const files::OpenChooser&, files::PanelAnswer a) override {
        answer = std::move(a);
        return true;
    }
};

Outcome importPaper(const std::string& path) {
    fakes::ManualQueue queue;
    auto page = std::make_shared<fakes::RecordingPage>();
    auto bridge = std::make_shared<bridge::Bridge>(queue, page);
    auto panels = std::make_shared<OnePanel>();
    fakes::RecordingDesktop desktop;
    common::Workers workers(queue, 1);
    auto exchange = std::make_shared<files::FileExchange>(panels, bridge, desktop, workers);
    exchange->openPaperPDF();
    auto t0 = Clock::now();
    panels->answer(path);
    queue.runAll();
    Outcome o;
    o.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    if (page->scripts.size() == 1) o.bytes = static_cast<double>(page->scripts[0].size());
    return o;
}

void print(const char* what, const Row& r) {
    if (!r.ok) {
        std::printf("| %-44s | %9s | %10s | %9s | %9s |\n", what, "failed", "", "", "");
        return;
    }
    std::printf("| %-44s | %9.3f | %10.2f | %9.1f | %9.1f |\n", what, r.seconds, r.outputMB, r.startMB, r.peakMB);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int count = argc > 1 ? std::atoi(argv[1]) : 20;
    g_autofree char* tmp = g_dir_make_tmp("tavrik-bench-XXXXXX", nullptr);
    std::string dir = tmp;

    auto g0 = Clock::now();
    std::vector<common::Bytes> photos;
    double inputMB = 0;
    for (int i = 0; i < count; ++i) {
        photos.push_back(makePhoto(4000, 3000, i));
        inputMB += photos.back().size() / 1048576.0;
    }
    double genSeconds = std::chrono::duration<double>(Clock::now() - g0).count();
    std::printf("PDF export: %d JPEG photos of 4000 x 3000, %.1f MB in all (made in %.1f s)\n\n", count, inputMB,
                genSeconds);
    std::printf("| %-44s | %9s | %10s | %9s | %9s |\n", "run", "seconds", "output MB", "start RSS", "peak RSS");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(46, '-').c_str(), std::string(11, '-').c_str(),
                std::string(12, '-').c_str(), std::string(11, '-').c_str(), std::string(11, '-').c_str());

    print("savePDFPages build: JPEG bytes embedded", measure([&] {
              // The child's own copy of the photos, handed over as the export hands them over.
              auto s = files::buildPdf(std::move(photos), files::PageLayout::A4Width, dir + "/embedded.pdf");
              return Outcome{s ? fileSize(dir + "/embedded.pdf") : -1.0};
          }));
    print("decode pixels and draw them (lossless)",
          measure([&] { return Outcome{decodeAndDraw(photos, dir + "/pixels.pdf")}; }));
    photos.clear();
    photos.shrink_to_fit();

    // Paper import: exactly at the limit, and one byte over (refused after reading limit + 1).
    std::string paper = dir + "/paper.pdf";
    {
        std::ofstream out(paper, std::ios::binary);
        std::minstd_rand rng(7);
        std::string block(1 << 20, '\0');
        out << "%PDF-1.7\n";
        for (std::size_t left = files::kPaperLimit - 9; left > 0;) {
            for (auto& c : block) c = static_cast<char>(rng());
            std::size_t n = std::min(left, block.size());
            out.write(block.data(), static_cast<std::streamsize>(n));
            left -= n;
        }
    }
    std::printf("\nPaper import of a %zu-byte file (25 MiB): answer of the chooser to the page call\n\n",
                files::kPaperLimit);
    std::printf("| %-44s | %9s | %10s | %9s | %9s |\n", "run", "seconds", "call MB", "start RSS", "peak RSS");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(46, '-').c_str(), std::string(11, '-').c_str(),
                std::string(12, '-').c_str(), std::string(11, '-').c_str(), std::string(11, '-').c_str());
    print("at the limit: __paperFromNative call", measure([&] { return importPaper(paper); }));
    std::ofstream(paper, std::ios::binary | std::ios::app) << 'x';
    print("one byte over: the toast", measure([&] { return importPaper(paper); }));
    g_remove(paper.c_str());
    fs::remove_all(dir);
    return 0;
}
