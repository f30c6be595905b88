// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/render_child.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "files/render_wire.h"

extern char** environ;

namespace files {

void ChildProcess::kill() const noexcept {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
}

std::chrono::nanoseconds ChildProcess::cpu() const noexcept {
    clockid_t clock;
    timespec t{};
    if (pid_ <= 0 || clock_getcpuclockid(pid_, &clock) != 0 || clock_gettime(clock, &t) != 0)
        return std::chrono::nanoseconds(-1);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

void ChildProcess::end() noexcept {
    if (pid_ <= 0) return;
    int status = 0;
    pid_t r;
    while ((r = waitpid(pid_, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (r == 0) {
        ::kill(pid_, SIGKILL);
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
}

namespace {

// The helper's environment: what fontconfig and poppler read (and the test switch of
// sandbox.h), never the tokens, session addresses and everything else the shell inherited.
struct HelperEnvironment {
    std::vector<std::string> kept;
    std::vector<char*> envp;

    HelperEnvironment() {
        for (char** e = environ; *e; ++e) {
            std::string_view v(*e);
            if (v.starts_with("HOME=") || v.starts_with("LANG=") || v.starts_with("XDG_") ||
                v.starts_with("FONTCONFIG_") || v.starts_with("TAVRIK_RENDER_WITHOUT="))
                kept.emplace_back(v);
        }
        for (auto& k : kept) envp.push_back(k.data());
        envp.push_back(nullptr);
    }
};

}  // namespace

Helper spawnHelper(const RenderLimits& limits) {
    Helper h;
    int fds[2], socks[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        h.spawnError = errno;
        return h;
    }
    common::UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, socks) != 0) {
        h.spawnError = errno;
        return h;
    }
    common::UniqueFd ours(socks[0]), theirs(socks[1]);
    // A larger pipe lets a helper hand over a whole page and start the next one while the shell
    // is still reading the other helper's page.
    fcntl(writeEnd.get(), F_SETPIPE_SZ, 1 << 20);

    std::string a1 = std::to_string(limits.memoryMb), a2 = std::to_string(limits.pageCpu.count()),
                a3 = limits.sandbox == RenderLimits::Sandbox::On ? "1" : "0";
    std::string a0 = wire::kHelperName;
    char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    // poppler reports every syntax error of a broken file on standard error.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Nothing else of the shell's (sockets, the display, other requests' pipes) reaches the helper.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Default signal dispositions and an empty mask, whatever this thread has blocked.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    HelperEnvironment env;
    pid_t pid = -1;
    int rc = posix_spawn(&pid, limits.helperPath.c_str(), &actions, &attr, argv, env.envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        h.spawnError = rc;
        return h;
    }
    h.process = ChildProcess(pid);
    h.commands = std::move(ours);
    h.out = std::move(readEnd);
    h.alive = true;
    return h;
}

bool sendPdf(Helper& h, int pdf) {
    if (!h.alive) return false;
    std::uint32_t magic = wire::kMagic;
    iovec iov{&magic, sizeof magic};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &pdf, sizeof pdf);
    ssize_t n;
    // No SIGPIPE for the shell when the helper has died: the send fails instead.
    while ((n = sendmsg(h.commands.get(), &msg, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    if (n == sizeof magic) return true;
    stop(h);
    return false;
}

bool askPage(Helper& h, std::uint32_t index) {
    if (!h.alive) return false;
    ssize_t n;
    while ((n = send(h.commands.get(), &index, sizeof index, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    if (n == sizeof index) return true;
    stop(h);
    return false;
}

void stop(Helper& h) {
    if (h.alive) h.process.kill();
    h.alive = false;
}

}  // namespace files
