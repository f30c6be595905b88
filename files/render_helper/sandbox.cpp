// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/render_helper/sandbox.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "files/render_helper/empty_root.h"

namespace files::sandbox {
namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : std::string();
}

// Landlock through raw system calls: glibc 2.36 has no wrappers, and Debian 12's kernel headers
// know only its first two versions, so the later fields and rights are spelled out here (they are
// kernel ABI and do not change).
struct RulesetAttr {
    std::uint64_t handledFs = 0;
    std::uint64_t handledNet = 0;  // version 4
    std::uint64_t scoped = 0;      // version 6
};
constexpr std::uint64_t kFsTruncate = 1ULL << 14;  // version 3
constexpr std::uint64_t kFsIoctlDev = 1ULL << 15;  // version 5
constexpr std::uint64_t kNetBindTcp = 1ULL << 0, kNetConnectTcp = 1ULL << 1;
constexpr std::uint64_t kScopeAbstractUnixSocket = 1ULL << 0, kScopeSignal = 1ULL << 1;

int landlockCreate(const RulesetAttr* attr, std::size_t size, std::uint32_t flags) {
    return static_cast<int>(syscall(SYS_landlock_create_ruleset, attr, size, flags));
}

// The file-system rights this ABI version knows; all of them are handled (refused unless a rule
// grants them).
std::uint64_t handledFs(int abi) {
    std::uint64_t all = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;  // version 1
    if (abi >= 2) all |= LANDLOCK_ACCESS_FS_REFER;
    if (abi >= 3) all |= kFsTruncate;
    if (abi >= 5) all |= kFsIoctlDev;
    return all;
}

bool restrictFiles(const std::vector<std::string>& readable) {
    int abi = landlockCreate(nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) return false;  // not built in, or disabled at boot
    RulesetAttr attr;
    attr.handledFs = handledFs(abi);
    // Version 4 adds TCP bind and connect, version 6 abstract UNIX sockets and signals to
    // processes outside this one; none has a rule, so all are refused.
    std::size_t size = sizeof attr.handledFs;
    if (abi >= 4) {
        attr.handledNet = kNetBindTcp | kNetConnectTcp;
        size += sizeof attr.handledNet;
    }
    if (abi >= 6) {
        attr.scoped = kScopeAbstractUnixSocket | kScopeSignal;
        size += sizeof attr.scoped;
    }
    int ruleset = landlockCreate(&attr, size, 0);
    if (ruleset < 0) return false;
    for (const std::string& path : readable) {
        int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
        if (fd < 0) continue;  // a folder this system does not have
        landlock_path_beneath_attr rule{};
        rule.parent_fd = fd;
        rule.allowed_access = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
        if (syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) != 0) {
            // A file rather than a folder (FONTCONFIG_FILE): only reading it applies.
            rule.allowed_access = LANDLOCK_ACCESS_FS_READ_FILE;
            syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
        }
        close(fd);
    }
    bool ok = syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    close(ruleset);
    return ok;
}

bool installFilter() {
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!ctx) return false;
    bool ok = true;
    auto allow = [&](int nr) { ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, nr, 0) == 0; };
    // What poppler, cairo, fontconfig, libjpeg and the C library call while a page is drawn.
    for (int nr : {SCMP_SYS(read),
                   SCMP_SYS(pread64),
                   SCMP_SYS(readv),
                   SCMP_SYS(lseek),
                   SCMP_SYS(close),
                   SCMP_SYS(fstat),
                   SCMP_SYS(newfstatat),
                   SCMP_SYS(statx),
                   SCMP_SYS(fstatfs),
                   SCMP_SYS(statfs),
                   SCMP_SYS(access),
                   SCMP_SYS(faccessat),
                   SCMP_SYS(faccessat2),
                   SCMP_SYS(readlink),
                   SCMP_SYS(readlinkat),
                   SCMP_SYS(getdents64),
                   SCMP_SYS(fadvise64),
                   SCMP_SYS(brk),
                   SCMP_SYS(munmap),
                   SCMP_SYS(mremap),
                   SCMP_SYS(madvise),
                   SCMP_SYS(futex),
                   SCMP_SYS(getrandom),
                   SCMP_SYS(sysinfo),
                   SCMP_SYS(clock_gettime),
                   SCMP_SYS(gettimeofday),
                   SCMP_SYS(getpid),
                   SCMP_SYS(gettid),
                   SCMP_SYS(getuid),
                   SCMP_SYS(geteuid),
                   SCMP_SYS(getgid),
                   SCMP_SYS(getegid),
                   SCMP_SYS(uname),
                   SCMP_SYS(getitimer),
                   SCMP_SYS(rt_sigreturn),
                   SCMP_SYS(rt_sigprocmask),
                   SCMP_SYS(restart_syscall),
                   SCMP_SYS(sched_yield),
                   SCMP_SYS(exit),
                   SCMP_SYS(exit_group)})
        allow(nr);
    // fcntl only as drawing uses it: the font loader marks its files close-on-exec, and the C
    // library asks for flags. Never F_SETOWN, F_SETSIG or F_SETFL: with O_ASYNC on the pipe to the
    // shell they would send any signal to any process of the user. (setitimer is not allowed
    // either: the shell, not the helper, keeps the CPU budget.)
    ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(fcntl), 2, SCMP_A1(SCMP_CMP_EQ, F_SETFD),
                                SCMP_A2(SCMP_CMP_EQ, FD_CLOEXEC)) == 0;
    for (int cmd : {F_GETFD, F_GETFL})
        ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(fcntl), 1,
                                    SCMP_A1(SCMP_CMP_EQ, static_cast<scmp_datum_t>(cmd))) == 0;
    // Memory, but never newly executable: nothing is loaded once the filter is on.
    for (int nr : {SCMP_SYS(mmap), SCMP_SYS(mprotect)})
        ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, nr, 1, SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)) == 0;
    // Writing only to the pipe to the shell and to standard error (/dev/null).
    for (int nr : {SCMP_SYS(write), SCMP_SYS(writev)})
        for (int fd : {STDOUT_FILENO, STDERR_FILENO})
            ok = ok &&
                 seccomp_rule_add(ctx, SCMP_ACT_ALLOW, nr, 1, SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(fd))) == 0;
    // Opening read-only: no write access, no creating, truncating or appending, no unnamed
    // temporary file (O_TMPFILE without its O_DIRECTORY bit: folders are opened to be listed).
    // open() and creat() are left out: the C library opens through openat.
    constexpr std::uint64_t kWriteish = O_ACCMODE | O_CREAT | O_TRUNC | O_APPEND | (O_TMPFILE & ~O_DIRECTORY);
    ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(openat), 1,
                                SCMP_A2(SCMP_CMP_MASKED_EQ, kWriteish, O_RDONLY)) == 0;
    // Never part of drawing a page, and the first steps of an exploit: the process ends.
    for (int nr : {SCMP_SYS(execve), SCMP_SYS(execveat), SCMP_SYS(ptrace), SCMP_SYS(process_vm_readv),
                   SCMP_SYS(process_vm_writev)})
        ok = ok && seccomp_rule_add(ctx, SCMP_ACT_KILL_PROCESS, nr, 0) == 0;
    ok = ok && seccomp_load(ctx) == 0;
    seccomp_release(ctx);
    return ok;
}

}  // namespace

std::vector<std::string> renderReadPaths() {
    std::string home = env("HOME");
    auto xdg = [&](const char* var, const char* fallback) {
        std::string v = env(var);
        return !v.empty() ? v : home.empty() ? std::string() : home + fallback;
    };
    std::string config = xdg("XDG_CONFIG_HOME", "/.config"), cache = xdg("XDG_CACHE_HOME", "/.cache"),
                data = xdg("XDG_DATA_HOME", "/.local/share");
    std::vector<std::string> paths = {
        TAVRIK_POPPLER_DATADIR,  "/etc/fonts",
        "/usr/share/fontconfig",  // the targets of /etc/fonts/conf.d's links
        "/var/cache/fontconfig", "/usr/share/fonts", "/usr/local/share/fonts",
    };
    for (const char* var : {"FONTCONFIG_FILE", "FONTCONFIG_PATH"})
        if (std::string v = env(var); !v.empty()) paths.push_back(v);
    if (!config.empty()) paths.push_back(config + "/fontconfig");
    if (!cache.empty()) paths.push_back(cache + "/fontconfig");
    if (!data.empty()) paths.push_back(data + "/fonts");
    if (!home.empty()) {
        paths.push_back(home + "/.fonts");
        paths.push_back(home + "/.fonts.conf");
        paths.push_back(home + "/.fontconfig");
    }
    return paths;
}

Without withoutFromEnvironment() {
    Without w;
    std::stringstream list(env("TAVRIK_RENDER_WITHOUT"));
    for (std::string item; std::getline(list, item, ',');) {
        if (item == "landlock") w.landlock = true;
        if (item == "namespaces") w.namespaces = true;
    }
    return w;
}

Entered enter(const std::vector<std::string>& readable, Without without) {
    Entered e;
    // Whatever the shell let through by mistake is closed before anything untrusted runs.
    if (close_range(3, ~0U, 0) != 0) return e;
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return e;
    // Without a file-system layer, the filter alone would still let any file be opened for
    // reading: the user's documents, the shell's environment. No layer, no rendering.
    if (!without.landlock && restrictFiles(readable))
        e.files = FileLayer::Landlock;
    else if (!without.namespaces && enterEmptyRoot(readable))
        e.files = FileLayer::Namespaces;
    else
        return e;
    e.ok = installFilter();
    return e;
}

}  // namespace files::sandbox
