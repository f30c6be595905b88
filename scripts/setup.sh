#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that are missing, then configures build/ (once) and builds.
# Usage: setup.sh [--tests]
#   without --tests: scripts/packages.txt only (building and running), and only the application;
#   with --tests:    scripts/packages-test.txt as well, and everything, tests included.
# Safe to run again: it installs only what is missing and configures only a folder that is not
# configured yet (or configured without tests when they are now wanted); ninja reruns CMake itself
# when a CMakeLists.txt changes.
set -euo pipefail
cd "$(dirname "$0")/.."
tests=OFF
[ "${1:-}" = --tests ] && tests=ON

lists=(scripts/packages.txt)
[ $tests = ON ] && lists+=(scripts/packages-test.txt)
bash scripts/packages.sh "${lists[@]}"

# A folder configured with tests stays so: run.sh after test.sh keeps building into it.
configured=$(sed -n 's/^TAVRIK_TESTS:BOOL=//p' build/CMakeCache.txt 2>/dev/null || true)
if [ ! -f build/build.ninja ] || { [ $tests = ON ] && [ "$configured" != ON ]; }; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIK_TESTS=$tests >/dev/null
fi
if [ $tests = ON ]; then
  cmake --build build
else
  cmake --build build --target tavrik
fi
