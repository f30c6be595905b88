#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a program (the keyring tests, or the vault benchmark) against a fresh GNOME Keyring daemon
# in a private D-Bus session. The daemon creates a new "login" keyring, unlocked with a test
# password, in a temporary home, so nothing prompts and the user's own keyring is never touched.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 <program> [arguments…]" >&2
  exit 2
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrik-keyring-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/data" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
export HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
unset GNOME_KEYRING_CONTROL

status=0
# A bus that activates nothing: the daemon is started here.
timeout 240 dbus-run-session --config-file="$(cd "$(dirname "$0")/.." && pwd)/session-bus.conf" -- bash -c '
  set -euo pipefail
  eval "$(printf %s testpass | gnome-keyring-daemon --unlock --components=secrets)"
  export GNOME_KEYRING_CONTROL="${GNOME_KEYRING_CONTROL:-}"
  "$@"
' keyring-session "$@" || status=$?
exit "$status"
