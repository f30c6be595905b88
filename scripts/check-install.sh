#!/usr/bin/env bash
# Installs the build into a temporary prefix and starts the installed binary with no flags under
# a virtual X server; passes when its page has loaded and renamed the window through the bridge.
# Usage: check-install.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/tavrik share/tavrik/html/index.html share/applications/org.tavrik.Tavrik.desktop \
         share/metainfo/org.tavrik.Tavrik.metainfo.xml share/icons/hicolor/scalable/apps/org.tavrik.Tavrik.svg; do
  [ -e "$prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
export NO_AT_BRIDGE=1 GTK_A11Y=none LIBGL_ALWAYS_SOFTWARE=1
# Mark the installed page so that the check cannot pass on the source tree's copy.
sed -i "s/untitled: '[^']*'/untitled: 'installed-copy'/" "$prefix/share/tavrik/html/i18n.js"
# Run from elsewhere so that nothing can be found relative to the working folder.
cd /
xvfb-run -a -s "-screen 0 1400x900x24" bash -c '
  "$1/bin/tavrik" 2>"$1/stderr" & pid=$!
  ok=1
  for i in $(seq 1 200); do
    if xdotool search --name "installed-copy" >/dev/null 2>&1; then ok=0; break; fi
    sleep 0.1
  done
  kill $pid; wait $pid 2>/dev/null || true
  if [ $ok -ne 0 ]; then echo "the installed tavrik did not load its page"; cat "$1/stderr"; fi
  exit $ok' _ "$prefix"
echo "installed tavrik starts with its page: ok"
