#!/usr/bin/env bash
# Installs whatever Debian packages from scripts/packages.txt are missing, then configures and
# builds into build/. Safe to run again: it only does what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t wanted < <(grep -vE '^\s*(#|$)' scripts/packages.txt)
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
