#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: unit tests, in-process GTK/WebKit tests
# under a private Xvfb, and the keyring tests in their own D-Bus session.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# Formatting is part of the build's contract: any tracked C++ file that differs from the checked-in
# style fails the run before the tests do.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

# The unit tests once more under AddressSanitizer and UndefinedBehaviorSanitizer, in a build of their
# own (build-asan/, unit-test programs only). The GTK tests stay on the normal build: they are the
# slow half of the run and would run twice, the page itself runs in WebKit's own web process where
# the sanitizers see nothing, and at exit JavaScriptCore's allocator reports leaks that would need
# suppressing first. tests/lsan.supp names the library leaks that are suppressed, and why.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVRIK_SANITIZE=ON >/dev/null
cmake --build build-asan --target unit_tests
ASAN_OPTIONS=detect_leaks=1 \
  LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -L '^unit$' --output-on-failure

export NO_AT_BRIDGE=1 GTK_A11Y=none LIBGL_ALWAYS_SOFTWARE=1
# -noreset: the display must not reset between tests when a test's last client (an application
# it started) goes away; a client connecting during the reset is refused.
# A session bus of our own for the whole run (one that starts no services: tests/session-bus.conf
# says why), and a virtual display when there is none.
run=(ctest --test-dir build --output-on-failure "$@")
exec dbus-run-session --config-file="$PWD/tests/session-bus.conf" -- xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp -noreset" "${run[@]}"
