#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every check: formatting and licence lines, the unit
# tests under the sanitizers and on the normal build, the page's scripts under Node, the metadata,
# the GTK/WebKit tests (each on a virtual display and a session bus of its own, side by side), the
# keyring tests against a real GNOME Keyring, and the install check. Each stage prints its time;
# a summary follows at the end. Arguments go to the ctest runs of the normal build (e.g. -R gtk_menu).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

summary=()
failed=0
run_start=$EPOCHREALTIME
seconds_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }'; }
# stage NAME COMMAND…: runs COMMAND (in a function, chain the steps with &&) and prints how long it
# took; a failure is remembered and the run goes on, so that one run reports every failing stage.
stage() {
  local name=$1 t0=$EPOCHREALTIME status=0
  shift
  "$@" || status=$?
  local line
  line=$(printf '%-26s %7s s%s' "$name" "$(seconds_since "$t0")" "$( ((status)) && echo "  FAILED ($status)")")
  echo "⏱ $line"
  summary+=("$line")
  ((status == 0)) || failed=1
  last_status=$status
  return 0
}
# After a stage that the rest cannot do without: stop here when it failed.
needed() {
  ((last_status == 0)) || { printf '   %s\n' "${summary[@]}"; exit 1; }
}

# What building and running need first; the test tools (LibreOffice, clang, Xvfb, Node, lintian…,
# a third of the download) are fetched and installed while the application compiles, then the
# tests are built once they are there.
stage "packages (build and run)" bash scripts/packages.sh scripts/packages.txt
needed
apt_log=$(mktemp)
trap 'rm -f "$apt_log"' EXIT
bash scripts/packages.sh scripts/packages-test.txt >"$apt_log" 2>&1 &
apt_pid=$!
stage "build (application)" bash scripts/setup.sh
wait_for_test_packages() {
  local status=0
  wait "$apt_pid" || status=$?
  cat "$apt_log"
  return "$status"
}
stage "packages (tests), left" wait_for_test_packages
needed

# The build's contract: every tracked C++ file in the checked-in style, every tracked source file
# with its licence line.
source_checks() {
  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror && bash scripts/spdx.sh --check
}
stage "format and licence lines" source_checks

stage "build (tests)" bash scripts/setup.sh --tests
needed

# The unit tests once more under AddressSanitizer and UndefinedBehaviorSanitizer, in a build of their
# own (build-asan/, unit-test programs only). The GTK tests stay on the normal build: they are the
# slow half of the run and would run twice, the page itself runs in WebKit's own web process where
# the sanitizers see nothing, and at exit JavaScriptCore's allocator reports leaks that would need
# suppressing first. tests/lsan.supp names the library leaks that are suppressed, and why.
# Line tables are all the debug information the sanitizers' reports need; full information costs
# this build about a seventh more compiler time, and larger links.
asan_build() {
  { [ -f build-asan/build.ninja ] ||
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
      -DCMAKE_C_FLAGS_DEBUG=-g1 -DTAVRIK_SANITIZE=ON >/dev/null; } &&
    cmake --build build-asan --target unit_tests
}
stage "sanitizer build" asan_build
needed

stage "unit tests (sanitizers)" env ASAN_OPTIONS=detect_leaks=1 \
  LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -L '^unit$' -j "$jobs" --output-on-failure --no-tests=ignore

ctest_main=(ctest --test-dir build --output-on-failure --no-tests=ignore)
stage "unit, page and data tests" "${ctest_main[@]}" -L '^(unit|node|data)$' -j "$jobs" "$@"
# Each GUI test brings its own display and session bus (tests/gui-session.sh); much of their time is
# spent waiting on WebKit's processes and on timers, so one more than the cores keeps them busy.
stage "GUI tests" "${ctest_main[@]}" -L '^(gtk|keyring|libreoffice)$' -j $((jobs + 1)) "$@"
stage "install check" "${ctest_main[@]}" -L '^install$' "$@"

echo "── $(printf '%-24s' 'total') $(seconds_since "$run_start") s"
printf '   %s\n' "${summary[@]}"
exit "$failed"
