#!/usr/bin/env bash
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

# A bus that activates nothing: the daemon is started below, and a desktop portal activated on a
# bus without a desktop would hold every libsecret call for 25 s.
cat > "$work/session.conf" <<'CONF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <keep_umask/>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF

status=0
timeout 240 dbus-run-session --config-file="$work/session.conf" -- bash -c '
  set -euo pipefail
  eval "$(printf %s testpass | gnome-keyring-daemon --unlock --components=secrets)"
  export GNOME_KEYRING_CONTROL="${GNOME_KEYRING_CONTROL:-}"
  "$@"
' keyring-session "$@" || status=$?
exit "$status"
