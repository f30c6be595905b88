// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The render helper's confinement, entered once its input is mapped and before the first byte of
// the PDF is parsed: whatever a crafted file makes poppler do, the process can only read what
// drawing needs, write to the pipes it was given, and end.
#include <string>
#include <vector>

namespace files::sandbox {

// What poppler and fontconfig read while drawing: poppler's CMap and cidToUnicode data,
// fontconfig's configuration and caches, and the font folders (the system's and the user's,
// after the same environment variables fontconfig reads). Missing ones are left out later.
std::vector<std::string> renderReadPaths();

// What confines the helper's file system: Landlock where the kernel has it, else namespaces with
// an empty root (empty_root.h). None means the helper must not render.
enum class FileLayer { Landlock, Namespaces, None };

// Layers the helper is to act as if the kernel lacked, so that tests can reach every branch on one
// machine: $TAVRIK_RENDER_WITHOUT, a comma-separated list of "landlock" and "namespaces". It can
// only take confinement away, and a helper left with no file-system layer renders nothing.
struct Without {
    bool landlock = false;
    bool namespaces = false;
};
Without withoutFromEnvironment();

struct Entered {
    bool ok = false;  // false: the file system is not confined or the filter is missing; do not go on
    FileLayer files = FileLayer::None;
};

// Closes every descriptor above standard error, sets no-new-privileges, confines the file system
// to reading below readable (Landlock, else an empty root in namespaces of its own), and installs
// the system-call filter: memory, reading, writing to standard output and error, read-only opens,
// futex, clocks and exit. Exec and ptrace kill the process; sockets, write-opens, timers, signals
// to others and everything else fail with EPERM.
Entered enter(const std::vector<std::string>& readable, Without without = withoutFromEnvironment());

}  // namespace files::sandbox
