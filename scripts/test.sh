#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: unit tests, in-process GTK/WebKit tests
# under a private Xvfb, and the keyring tests in their own D-Bus session.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# Formatting is part of the build's contract: any tracked C++ file that differs from the checked-in
# style fails the run before the tests do.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

export NO_AT_BRIDGE=1 GTK_A11Y=none LIBGL_ALWAYS_SOFTWARE=1
# A session bus of our own for the whole run (one that activates nothing), and a virtual display
# when there is none.
run=(ctest --test-dir build --output-on-failure "$@")
exec dbus-run-session --config-file=tests/session-bus.conf -- xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "${run[@]}"
