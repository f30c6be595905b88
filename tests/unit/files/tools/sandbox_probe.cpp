// SPDX-License-Identifier: GPL-3.0-or-later
// Enters the render helper's confinement exactly as the helper does (honouring
// $TAVRIK_RENDER_WITHOUT), then tries one thing a hijacked helper might. Usage: sandbox_probe
// ACTION [ARG]. Actions starting with "free-" run without entering it, to show what the same user
// could do otherwise. Exit status: 0 the action succeeded, 1 it was refused, 2 bad usage or no
// confinement; a process killed by the filter ends on SIGSYS.
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "files/render_helper/sandbox.h"

namespace {

int outcome(bool ok) {
    if (!ok) std::printf("refused: %s\n", std::strerror(errno));
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string action = argv[1];
    const char* path = argc > 2 ? argv[2] : "";
    if (action.rfind("free-", 0) == 0) {
        action = action.substr(5);
    } else {
        auto entered = files::sandbox::enter(files::sandbox::renderReadPaths());
        if (!entered.ok) return 2;
        if (action == "layer") {
            std::printf("%s", entered.files == files::sandbox::FileLayer::Landlock ? "landlock" : "namespaces");
            return 0;
        }
    }
    if (action == "read") {
        int fd = open(path, O_RDONLY | O_CLOEXEC);
        char c;
        return outcome(fd >= 0 && read(fd, &c, 1) >= 0);
    }
    if (action == "list") return outcome(open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC) >= 0);
    if (action == "create") return outcome(open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0600) >= 0);
    if (action == "append") return outcome(open(path, O_WRONLY | O_APPEND | O_CLOEXEC) >= 0);
    if (action == "truncate") return outcome(open(path, O_RDONLY | O_TRUNC | O_CLOEXEC) >= 0);
    if (action == "tmpfile") return outcome(open("/tmp", O_TMPFILE | O_RDWR, 0600) >= 0);
    if (action == "unlink") return outcome(unlink(path) == 0);
    if (action == "rename") return outcome(rename(path, (std::string(path) + ".moved").c_str()) == 0);
    if (action == "tcp") {
        // Loopback only, even to show that it is refused.
        int s = socket(AF_INET, SOCK_STREAM, 0);
        if (s < 0) return outcome(false);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(std::atoi(path)));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return outcome(connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0);
    }
    if (action == "unix") return outcome(socket(AF_UNIX, SOCK_STREAM, 0) >= 0);
    if (action == "exec") {
        char* args[] = {const_cast<char*>("/bin/true"), nullptr};
        execv("/bin/true", args);
        return outcome(false);
    }
    // What a hijacked helper would use to signal processes outside it: SIGIO ownership of its
    // pipe, a chosen signal, asynchronous mode.
    if (action == "fcntl-cloexec") return outcome(fcntl(STDOUT_FILENO, F_SETFD, FD_CLOEXEC) == 0);
    if (action == "fcntl-setown") return outcome(fcntl(STDOUT_FILENO, F_SETOWN, std::atoi(path)) == 0);
    if (action == "fcntl-setsig") return outcome(fcntl(STDOUT_FILENO, F_SETSIG, SIGKILL) == 0);
    if (action == "fcntl-async") return outcome(fcntl(STDOUT_FILENO, F_SETFL, O_ASYNC) == 0);
    if (action == "signal") return outcome(kill(std::atoi(path), 0) == 0);
    if (action == "setitimer") {
        itimerval off{};
        return outcome(setitimer(ITIMER_PROF, &off, nullptr) == 0);
    }
    // A descriptor the parent left open (ARG: its number).
    if (action == "fd") return outcome(fcntl(std::atoi(path), F_GETFD) >= 0);
    if (action == "stdout") return outcome(write(STDOUT_FILENO, "ok\n", 3) == 3);
    return 2;
}
