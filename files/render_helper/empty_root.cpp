// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/render_helper/empty_root.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace files::sandbox {
namespace {

// Where the new root is built: any folder every system has; the tmpfs hides it only inside the
// new mount namespace.
constexpr const char* kBuild = "/tmp";
constexpr const char* kOld = "/.old-root";

bool writeText(const char* path, const std::string& text) {
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok;
}

// mkdir -p; true when the folder exists afterwards.
bool makeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

// A user namespace may not clear the flags the original mount was made with: a read-only remount
// of a bind repeats them.
unsigned long lockedFlags(const std::string& path) {
    struct statvfs s {};
    if (statvfs(path.c_str(), &s) != 0) return 0;
    unsigned long flags = 0;
    if (s.f_flag & ST_NOSUID) flags |= MS_NOSUID;
    if (s.f_flag & ST_NODEV) flags |= MS_NODEV;
    if (s.f_flag & ST_NOEXEC) flags |= MS_NOEXEC;
    if (s.f_flag & ST_NOATIME) flags |= MS_NOATIME;
    if (s.f_flag & ST_NODIRATIME) flags |= MS_NODIRATIME;
    if (s.f_flag & ST_RELATIME) flags |= MS_RELATIME;
    return flags;
}

// Binds source read-only at the same path below the new root.
void bindReadOnly(const std::string& source) {
    struct stat st {};
    if (source.empty() || source[0] != '/' || stat(source.c_str(), &st) != 0) return;
    std::string target = kBuild + source;
    if (S_ISDIR(st.st_mode)) {
        if (!makeFolders(target)) return;
    } else {
        if (!makeFolders(target.substr(0, target.rfind('/')))) return;
        struct stat there {};
        if (stat(target.c_str(), &there) != 0) {
            int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0) return;
            close(fd);
        }
    }
    // Recursive: a namespace may not bind a folder without the mounts below it.
    if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) return;
    if (mount(nullptr, target.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | lockedFlags(source), nullptr) != 0)
        umount2(target.c_str(), MNT_DETACH);  // never a writable bind
}

}  // namespace

bool enterEmptyRoot(const std::vector<std::string>& readable) {
    uid_t uid = getuid();
    gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET) != 0) return false;
    // The same user and group inside, so that the user's own font files stay readable.
    if (!writeText("/proc/self/setgroups", "deny") ||
        !writeText("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1") ||
        !writeText("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1"))
        return false;
    // Nothing done here reaches the shell's mount namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    if (mount("tavrik-render", kBuild, "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, "size=64k,mode=0755") != 0)
        return false;
    for (const std::string& path : readable) bindReadOnly(path);
    // The old root is detached whole: not even /proc (the shell's memory, its environment) remains.
    std::string old = std::string(kBuild) + kOld;
    if (mkdir(old.c_str(), 0700) != 0 || chdir(kBuild) != 0 || syscall(SYS_pivot_root, ".", kOld + 1) != 0)
        return false;
    if (chdir("/") != 0 || umount2(kOld, MNT_DETACH) != 0 || rmdir(kOld) != 0) return false;
    if (mount(nullptr, "/", nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
        return false;
    // The namespace's capabilities are of no use from here on; the system-call filter refuses
    // mount, chroot and unshare as well.
    __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    return syscall(SYS_capset, &head, none) == 0;
}

}  // namespace files::sandbox
