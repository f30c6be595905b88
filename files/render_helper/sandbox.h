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

enum class Landlock { Applied, Unavailable };

struct Entered {
    bool ok = false;  // false: the system-call filter could not be installed; do not go on
    Landlock landlock = Landlock::Unavailable;
};

// Sets no-new-privileges, confines the file system to reading below readable (Landlock, when the
// kernel has it), and installs the system-call filter: memory, reading, writing to standard
// output and error, read-only opens, futex, timers and exit. Exec and ptrace kill the process;
// sockets, write-opens and everything else fail with EPERM.
Entered enter(const std::vector<std::string>& readable);

}  // namespace files::sandbox
