#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command on a virtual display and a session bus of its own, so that GUI tests can run side
# by side: focus, the clipboard, window titles and synthesised keys, clicks and drags stay within
# one test. Xvfb picks a free display number itself (-displayfd), so two runs starting at once
# never take the same one. The bus activates nothing (session-bus.conf says why).
# Usage: gui-session.sh <program> [arguments…]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrik-display-XXXXXX")
xvfb=
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# -noreset: the display must not reset when a test's last client (an application it started) goes
# away; a client connecting during the reset is refused.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 1 300); do
  grep -q . "$work/display" 2>/dev/null && break
  kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; } >&2
  sleep 0.05
done
display=$(head -n1 "$work/display")
[ -n "$display" ] || { echo "Xvfb gave no display number in 15 s" >&2; exit 1; }

export DISPLAY=":$display" NO_AT_BRIDGE=1 GTK_A11Y=none LIBGL_ALWAYS_SOFTWARE=1
unset WAYLAND_DISPLAY
status=0
dbus-run-session --config-file="$here/session-bus.conf" -- "$@" || status=$?
exit "$status"
