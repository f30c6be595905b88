// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for the render helper where a test wants to see what the shell starts it with: writes
// its environment, one variable a line, to $XDG_CONFIG_HOME/env (a variable the helper is given),
// then exits without rendering.
#include <cstdio>
#include <cstdlib>
#include <string>

extern char** environ;

int main() {
    const char* dir = std::getenv("XDG_CONFIG_HOME");
    if (!dir) return 1;
    std::FILE* f = std::fopen((std::string(dir) + "/env").c_str(), "w");
    if (!f) return 1;
    for (char** e = environ; *e; ++e) std::fprintf(f, "%s\n", *e);
    std::fclose(f);
    return 0;
}
