// The render helper's confinement: what a hijacked helper tries is refused, and what drawing needs
// (fonts embedded, standard fonts found through fontconfig, CJK fonts through poppler's CMaps)
// still works, pixel for pixel.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "files/render_process.h"
#include "unit/files/render_fixtures.h"

extern char** environ;

namespace {

using namespace renderfixtures;
using namespace std::chrono_literals;

struct Probe {
    bool exited = false;
    int status = -1;  // exit status, or the signal that ended it
};

Probe runProbe(const std::string& action, const std::string& path = "") {
    std::string exe = std::string(TAVRIK_TEST_TOOLS) + "/sandbox_probe";
    std::vector<std::string> args = {exe, action, path};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Under the sanitizer build the probe is instrumented too; LeakSanitizer's exit-time check
    // needs ptrace, which the sandbox under test rightly refuses.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("ASAN_OPTIONS=", 0) != 0) env.emplace_back(*e);
    const char* asan = getenv("ASAN_OPTIONS");
    env.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") + "detect_leaks=0");
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return {};
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) return {true, WEXITSTATUS(status)};
    return {false, WIFSIGNALED(status) ? WTERMSIG(status) : -1};
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(RenderSandbox, RefusesWhatRenderingNeverDoes) {
    // This machine's kernel has Landlock: the file-system half is part of what is tested.
    ASSERT_EQ(runProbe("landlock").status, 0);

    char dir[] = "/tmp/tavrik-sandbox-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    std::string victim = std::string(dir) + "/board.json";
    std::ofstream(victim) << "precious";
    // A loopback listener the probe would reach if sockets were allowed.
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    std::string port = std::to_string(ntohs(addr.sin_port));

    enum Want { Allowed, Refused, Killed };
    struct Case {
        const char* action;
        std::string path;
        Want want;
    } cases[] = {
        // What drawing reads stays readable.
        {"read", "/etc/fonts/fonts.conf", Allowed},
        {"list", "/usr/share/fonts", Allowed},
        {"stdout", "", Allowed},
        // Reading elsewhere.
        {"read", victim, Refused},
        {"read", "/etc/passwd", Refused},
        {"list", dir, Refused},
        // Every kind of write-open, even below a readable folder, and changes to names.
        {"create", std::string(dir) + "/new", Refused},
        {"create", "/etc/fonts/new.conf", Refused},
        {"append", victim, Refused},
        {"truncate", victim, Refused},
        {"tmpfile", "", Refused},
        {"unlink", victim, Refused},
        {"rename", victim, Refused},
        // Sockets of any family.
        {"tcp", port, Refused},
        {"unix", "", Refused},
        // Starting another program ends the helper.
        {"exec", "", Killed},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " " + c.path);
        Probe p = runProbe(c.action, c.path);
        if (c.want == Killed) {
            EXPECT_FALSE(p.exited);
            EXPECT_EQ(p.status, SIGSYS);
        } else {
            EXPECT_TRUE(p.exited);
            EXPECT_EQ(p.status, c.want == Allowed ? 0 : 1);
        }
    }
    EXPECT_EQ(slurp(victim), "precious");
    EXPECT_FALSE(std::filesystem::exists(std::string(dir) + "/new"));
    EXPECT_LT(accept(listener, nullptr, nullptr), 0) << "a connection reached the listener";
    close(listener);
    std::filesystem::remove_all(dir);
}

std::vector<common::Bytes> renderAll(const common::Bytes& pdf, files::RenderLimits::Sandbox sandbox) {
    files::RenderLimits limits;
    limits.helperPath = helperPath();
    limits.sandbox = sandbox;
    std::vector<common::Bytes> out;
    files::renderIsolated(pdf, limits, [&](int, int, common::Bytes jpeg) { out.push_back(std::move(jpeg)); });
    return out;
}

// Pixels darker than mid-grey inside the box [x0, x1) × [y0, y1).
int darkPixels(const Decoded& image, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            std::uint32_t p = image.at(x, y);
            n += ((p >> 16) + ((p >> 8) & 0xff) + (p & 0xff)) < 3 * 0x80;
        }
    return n;
}

TEST(RenderSandbox, FontsRenderAsWithoutIt) {
    // Text in a font cairo embeds (a subset of the system's sans).
    common::Bytes embedded = makePdf({{300, 300}}, [](cairo_t* cr, int, double, double) {
        cairo_select_font_face(cr, "sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
        cairo_set_font_size(cr, 150);
        cairo_move_to(cr, 20, 200);
        cairo_show_text(cr, "Hg");
    });
    // A standard font named but not embedded: fontconfig finds a substitute on disk.
    common::Bytes base14 = handmadePdf("[0 0 300 300]", "BT /F1 150 Tf 20 100 Td (Hg) Tj ET",
                                       "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 "
                                       "/BaseFont /Helvetica-Bold >> >> >>");
    // A Japanese font named but not embedded, text in UCS-2 through poppler's CMap: 田.
    common::Bytes cjk = handmadePdf(
        "[0 0 300 300]", "BT /F1 200 Tf 50 60 Td <7530> Tj ET",
        "/Resources << /Font << /F1 << /Type /Font /Subtype /Type0 /BaseFont /Ryumin-Light "
        "/Encoding /UniJIS-UCS2-H /DescendantFonts [<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Ryumin-Light "
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 2 >> /FontDescriptor << /Type "
        "/FontDescriptor /FontName /Ryumin-Light /Flags 4 /FontBBox [0 -200 1000 900] /ItalicAngle 0 /Ascent 880 "
        "/Descent -120 /CapHeight 700 /StemV 80 >> >>] >> >> >>");
    struct Case {
        const char* name;
        const common::Bytes& pdf;
        int x0, y0, x1, y1;  // where the glyphs are, in points from the top left
    } cases[] = {{"embedded", embedded, 10, 40, 300, 270},
                 {"base-14", base14, 10, 40, 300, 270},
                 {"cjk", cjk, 40, 30, 270, 260}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto confined = renderAll(c.pdf, files::RenderLimits::Sandbox::On);
        auto free = renderAll(c.pdf, files::RenderLimits::Sandbox::Off);
        ASSERT_EQ(confined.size(), 1u);
        ASSERT_EQ(free.size(), 1u);
        auto image = decodeJpeg(confined[0]);
        ASSERT_TRUE(image);
        ASSERT_EQ(image->width, 1920);
        // The glyphs are drawn (a missing font or CMap draws nothing), where the text is set.
        const double s = 1920 / 300.0;
        int ink = darkPixels(*image, 0, 0, image->width, image->height);
        EXPECT_GT(ink, 1920 * 1920 / 20);
        EXPECT_GT(darkPixels(*image, static_cast<int>(c.x0 * s), static_cast<int>(c.y0 * s), static_cast<int>(c.x1 * s),
                             static_cast<int>(c.y1 * s)),
                  ink * 98 / 100);
        // … and exactly as an unconfined helper draws them.
        EXPECT_TRUE(confined[0] == free[0]);
    }
}

TEST(RenderSandbox, CpuBudgetIsPerPage) {
    // Sixty pages; each takes a small part of the budget, all of them together several times it.
    // One helper renders them all.
    common::Bytes many = pages(60);
    files::RenderLimits limits;
    limits.helperPath = helperPath();
    limits.processes = 1;
    std::vector<pid_t> pids;
    limits.spawned = [&](pid_t p) { pids.push_back(p); };
    limits.pageCpu = 200ms;
    std::vector<int> seen;
    files::renderIsolated(many, limits, [&](int index, int, common::Bytes) { seen.push_back(index); });
    EXPECT_EQ(seen.size(), 60u);
    EXPECT_EQ(pids.size(), 1u) << "the helper was replaced: it ran out of CPU time";

    // A page far heavier than the budget costs that page only; a fresh helper goes on.
    common::Bytes mixed = makePdf({{612, 792}, {612, 792}, {612, 792}}, [](cairo_t* cr, int page, double w, double h) {
        if (page != 1) return;
        for (int k = 0; k < 30; ++k) scribble(cr, k, w, h);
    });
    seen.clear();
    pids.clear();
    limits.pageCpu = 300ms;
    files::renderIsolated(mixed, limits, [&](int index, int, common::Bytes) { seen.push_back(index); });
    EXPECT_EQ(seen, (std::vector<int>{0, 2}));
    EXPECT_EQ(pids.size(), 2u);
}

}  // namespace
