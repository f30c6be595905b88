// SPDX-License-Identifier: GPL-3.0-or-later
// The render helper's confinement: what a hijacked helper tries is refused, and what drawing needs
// (fonts embedded, standard fonts found through fontconfig, CJK fonts through poppler's CMaps)
// still works, pixel for pixel.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "common/log.h"
#include "files/render_process.h"
#include "support/file_text.h"
#include "unit/files/render_fixtures.h"

extern char** environ;

namespace {

using testsupport::slurp;

using namespace renderfixtures;
using namespace std::chrono_literals;

struct Probe {
    bool exited = false;
    int status = -1;  // exit status, or the signal that ended it
    std::string out;  // what it printed
};

// The layers the probe (and a helper) act as if the kernel lacked: $TAVRIK_RENDER_WITHOUT.
struct Layers {
    const char* name;
    const char* without;
    const char* layer;  // what confines the file system; null: nothing, and nothing is done
};
constexpr Layers kLayers[] = {{"Landlock present", "", "landlock"},
                              {"Landlock absent: namespaces", "landlock", "namespaces"},
                              {"neither", "landlock,namespaces", nullptr}};

// Runs the probe, as the user uid when one is given (root runs the tests here; the namespace
// layer must work unprivileged).
Probe runProbe(const std::string& action, const std::string& path = "", const char* without = "",
               std::optional<uid_t> uid = std::nullopt) {
    std::string exe = std::string(TAVRIK_TEST_TOOLS) + "/sandbox_probe";
    std::vector<std::string> args = {exe, action, path};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Under the sanitizer build the probe is instrumented too; LeakSanitizer's exit-time check
    // needs ptrace, which the sandbox under test rightly refuses.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string v(*e);
        if (v.rfind("ASAN_OPTIONS=", 0) != 0 && v.rfind("TAVRIK_RENDER_WITHOUT=", 0) != 0) env.push_back(v);
    }
    const char* asan = getenv("ASAN_OPTIONS");
    env.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") + "detect_leaks=0");
    env.push_back(std::string("TAVRIK_RENDER_WITHOUT=") + without);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        if (uid && (setgroups(0, nullptr) != 0 || setresgid(*uid, *uid, *uid) != 0 || setresuid(*uid, *uid, *uid) != 0))
            _exit(127);
        execve(exe.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    Probe p;
    char buf[256];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) p.out.append(buf, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) {
        p.exited = true;
        p.status = WEXITSTATUS(status);
    } else {
        p.status = WIFSIGNALED(status) ? WTERMSIG(status) : -1;
    }
    return p;
}

TEST(RenderSandbox, RefusesWhatRenderingNeverDoes) {
    // This machine's kernel has Landlock and unprivileged user namespaces: each layer is tested
    // for real, the others forced off.
    ASSERT_EQ(runProbe("layer").out, "landlock");

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
    std::string self = std::to_string(getpid());
    // A descriptor of the test's left open across exec: the helper closes what it inherits.
    int leaked = open(victim.c_str(), O_RDONLY);
    ASSERT_GE(leaked, 3);

    enum Want { Allowed, Refused, Killed };
    struct Case {
        const char* action;
        std::string path;
        Want want;
    } cases[] = {
        // What drawing reads stays readable.
        {"read", "/etc/fonts/fonts.conf", Allowed},
        {"list", "/usr/share/fonts", Allowed},
        {"read", "/usr/share/poppler/cMap/Adobe-Japan1/UniJIS-UCS2-H", Allowed},
        {"stdout", "", Allowed},
        // Reading elsewhere: the user's files, the system's, the shell's environment and memory.
        {"read", victim, Refused},
        {"read", "/etc/passwd", Refused},
        {"list", dir, Refused},
        {"read", "/proc/" + self + "/environ", Refused},
        {"read", "/proc/" + self + "/mem", Refused},
        {"fd", std::to_string(leaked), Refused},
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
        // fcntl as drawing uses it, not as a way to signal others; no signals, no own timers.
        {"fcntl-cloexec", "", Allowed},
        {"fcntl-setown", self, Refused},
        {"fcntl-setsig", "", Refused},
        {"fcntl-async", "", Refused},
        {"signal", self, Refused},
        {"setitimer", "", Refused},
        // Starting another program ends the helper.
        {"exec", "", Killed},
    };
    for (const Layers& layers : kLayers) {
        SCOPED_TRACE(layers.name);
        EXPECT_EQ(runProbe("layer", "", layers.without).out, layers.layer ? layers.layer : "");
        for (auto& c : cases) {
            SCOPED_TRACE(std::string(c.action) + " " + c.path);
            Probe p = runProbe(c.action, c.path, layers.without);
            if (!layers.layer) {
                // No file-system layer: the probe, like the helper, does nothing at all.
                EXPECT_TRUE(p.exited);
                EXPECT_EQ(p.status, 2);
            } else if (c.want == Killed) {
                EXPECT_FALSE(p.exited);
                EXPECT_EQ(p.status, SIGSYS);
            } else {
                EXPECT_TRUE(p.exited);
                EXPECT_EQ(p.status, c.want == Allowed ? 0 : 1);
            }
        }
    }
    close(leaked);
    EXPECT_EQ(slurp(victim), "precious");
    EXPECT_FALSE(std::filesystem::exists(std::string(dir) + "/new"));
    EXPECT_LT(accept(listener, nullptr, nullptr), 0) << "a connection reached the listener";
    close(listener);
    std::filesystem::remove_all(dir);
}

TEST(RenderSandbox, NamespacesConfineAnUnprivilegedUser) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the probe as another user";
    const uid_t nobody = 65534;
    char dir[] = "/tmp/tavrik-sandbox-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    chmod(dir, 0755);
    std::string victim = std::string(dir) + "/board.json";
    std::ofstream(victim) << "precious";
    chmod(victim.c_str(), 0644);
    // Readable to that user unconfined; confined, only what drawing needs.
    EXPECT_EQ(runProbe("free-read", victim, "", nobody).status, 0);
    EXPECT_EQ(runProbe("layer", "", "landlock", nobody).out, "namespaces");
    EXPECT_EQ(runProbe("read", "/etc/fonts/fonts.conf", "landlock", nobody).status, 0);
    EXPECT_EQ(runProbe("read", victim, "landlock", nobody).status, 1);
    EXPECT_EQ(runProbe("read", "/proc/" + std::to_string(getpid()) + "/environ", "landlock", nobody).status, 1);
    EXPECT_EQ(runProbe("read", "/etc/passwd", "landlock", nobody).status, 1);
    std::filesystem::remove_all(dir);
}

// Sets $TAVRIK_RENDER_WITHOUT for the helpers a test starts, and clears it after.
struct Without {
    explicit Without(const char* layers) { setenv("TAVRIK_RENDER_WITHOUT", layers, 1); }
    ~Without() { unsetenv("TAVRIK_RENDER_WITHOUT"); }
};

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
    for (const Layers& layers : kLayers) {
        if (!layers.layer) continue;
        SCOPED_TRACE(layers.name);
        Without without(layers.without);
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
            EXPECT_GT(darkPixels(*image, static_cast<int>(c.x0 * s), static_cast<int>(c.y0 * s),
                                 static_cast<int>(c.x1 * s), static_cast<int>(c.y1 * s)),
                      ink * 98 / 100);
            // … and exactly as an unconfined helper draws them.
            EXPECT_TRUE(confined[0] == free[0]);
        }
    }
}

TEST(RenderSandbox, WithoutAnyFileLayerNothingIsRendered) {
    std::vector<std::string> warnings;
    common::log::setSink([&](common::log::Level level, std::string_view line) {
        if (level == common::log::Level::Warning) warnings.emplace_back(line);
    });
    Without without("landlock,namespaces");
    EXPECT_TRUE(renderAll(pages(3), files::RenderLimits::Sandbox::On).empty());
    common::log::setSink({});
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("neither Landlock nor unprivileged user namespaces"), std::string::npos) << warnings[0];
}

TEST(RenderSandbox, HelperGetsOnlyWhatFontsNeedOfTheEnvironment) {
    // A stand-in helper that writes the environment it was given where the test can read it.
    char dir[] = "/tmp/tavrik-sandbox-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    std::string home = getenv("HOME") ? getenv("HOME") : "";
    setenv("XDG_CONFIG_HOME", dir, 1);
    setenv("SOME_API_TOKEN", "sk-secret", 1);
    files::RenderLimits limits;
    limits.helperPath = std::string(TAVRIK_TEST_TOOLS) + "/env_dump";
    limits.processes = 1;
    files::renderIsolated(pages(1), limits, [](int, int, common::Bytes) {});
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("SOME_API_TOKEN");
    std::string env = slurp(std::string(dir) + "/env");
    std::filesystem::remove_all(dir);
    EXPECT_NE(env.find("XDG_CONFIG_HOME=" + std::string(dir) + "\n"), std::string::npos) << env;
    if (!home.empty()) {
        EXPECT_NE(env.find("HOME=" + home + "\n"), std::string::npos) << env;
    }
    EXPECT_EQ(env.find("sk-secret"), std::string::npos) << env;
    std::stringstream lines(env);
    for (std::string line; std::getline(lines, line);) {
        std::string name = line.substr(0, line.find('='));
        EXPECT_TRUE(name == "HOME" || name == "LANG" || name.rfind("XDG_", 0) == 0 ||
                    name.rfind("FONTCONFIG_", 0) == 0 || name == "TAVRIK_RENDER_WITHOUT")
            << name;
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
