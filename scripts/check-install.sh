#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the install as a user meets it:
# 1. the build installed into a temporary prefix (not the configured one) starts with no flags
#    under a virtual X server and loads its page;
# 2. the installed binary renders a one-page PDF through its installed helper;
# 3. so does a build configured for another libexec layout, and without its helper the render
#    ends with nothing and one log line naming where the helper was looked for;
# 4. the Debian package names its licence, and lintian finds no errors and no warnings in it.
# Usage: check-install.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)
build=$(realpath "${1:-build}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# expectTitle PREFIX TITLE [ARGS…]: starts PREFIX/bin/tavrik ARGS from / on a virtual display and a
# session bus of its own (one that activates nothing: a desktop portal that cannot reach a desktop
# blocks start-up for 25 s otherwise), and passes once a window whose name contains TITLE appears;
# its standard error is left in PREFIX/stderr.
expectTitle() {
  local prefix=$1 title=$2
  shift 2
  (cd / && bash "$src/tests/gui-session.sh" bash -c '
    prefix=$1 title=$2
    shift 2
    "$prefix/bin/tavrik" "$@" 2>"$prefix/stderr" & pid=$!
    ok=1
    for i in $(seq 1 300); do
      if xdotool search --name "$title" >/dev/null 2>&1; then ok=0; break; fi
      sleep 0.1
    done
    kill $pid; wait $pid 2>/dev/null || true
    if [ $ok -ne 0 ]; then echo "no window named \"$title\""; cat "$prefix/stderr"; fi
    exit $ok' _ "$prefix" "$title" "$@")
}

# 1. The page loads.
prefix=$work/one
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/tavrik libexec/tavrik/tavrik-render share/tavrik/html/index.html \
         share/applications/org.tavrik.Tavrik.desktop share/metainfo/org.tavrik.Tavrik.metainfo.xml \
         share/icons/hicolor/scalable/apps/org.tavrik.Tavrik.svg share/man/man1/tavrik.1.gz \
         share/doc/tavrik/copyright share/doc/tavrik/changelog.gz; do
  [ -e "$prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
# Mark the installed page so that the check cannot pass on the source tree's copy.
sed -i "s/untitled: '[^']*'/untitled: 'installed-copy'/" "$prefix/share/tavrik/html/i18n.js"
expectTitle "$prefix" installed-copy
echo "installed tavrik starts with its page: ok"

# 2. A page of its own that imports a one-page PDF (Letter with a 300 × 300 crop box and text in a
# standard font, so the helper needs fontconfig's files) and names the window after the result.
python3 - "$work/board/html" <<'PY'
import base64, os, sys
objs = ["<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /CropBox [0 0 300 300] /Contents 4 0 R"
        " /Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> >>"]
content = "BT /F1 120 Tf 20 100 Td (Hi) Tj ET"
objs.append("<< /Length %d >>\nstream\n%s\nendstream" % (len(content), content))
pdf, offsets = "%PDF-1.4\n", []
for i, o in enumerate(objs):
    offsets.append(len(pdf))
    pdf += "%d 0 obj\n%s\nendobj\n" % (i + 1, o)
xref = len(pdf)
pdf += "xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1) + "".join("%010d 00000 n \n" % o for o in offsets)
pdf += "trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
url = "data:application/pdf;base64," + base64.b64encode(pdf.encode()).decode()
os.makedirs(sys.argv[1])
open(os.path.join(sys.argv[1], "index.html"), "w").write("""<!doctype html><meta charset="utf-8"><script>
const post = (m) => window.webkit.messageHandlers.canvasBridge.postMessage(m);
const pages = [];
window.__pdfPageU = (reqId, i, n, url) => pages.push(url);
window.__pdfRendered = () => {
  if (!pages.length) return post({action: 'setTitle', title: 'render ended: 0 pages'});
  const img = new Image();
  img.onload = () => post({action: 'setTitle',
    title: 'render ended: ' + pages.length + ' pages, ' + img.naturalWidth + 'x' + img.naturalHeight});
  img.src = pages[0];
};
post({action: 'renderPDF', name: 'one.pdf', reqId: 'r', dataUrl: '%s'});
</script>""" % url)
PY
expectTitle "$prefix" "render ended: 1 pages, 1920x1920" --resources "$work/board"
echo "installed tavrik renders a PDF page through its installed helper: ok"

# 3. Another libexec layout (lib/ as some distributions use), from a build of its own beside the
# first one, configured once: ccache serves it from the first build's objects (CMakeLists.txt sets
# it up so), only the helper's path and the links are new.
alt=$build-libexec-layout
[ -f "$alt/build.ninja" ] ||
  cmake -S "$src" -B "$alt" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIK_TESTS=OFF \
    -DCMAKE_INSTALL_LIBEXECDIR=lib >/dev/null
ninja -C "$alt" tavrik tavrik-render tavrik_docs >/dev/null
prefix=$work/two
cmake --install "$alt" --prefix "$prefix" >/dev/null
[ -x "$prefix/lib/tavrik/tavrik-render" ] || { echo "helper not installed under lib/tavrik"; exit 1; }
[ ! -e "$prefix/libexec" ] || { echo "libexec/ installed although the layout has none"; exit 1; }
expectTitle "$prefix" "render ended: 1 pages, 1920x1920" --resources "$work/board"
rm "$prefix/lib/tavrik/tavrik-render"
expectTitle "$prefix" "render ended: 0 pages" --resources "$work/board"
grep -q "$prefix/bin/../lib/tavrik/tavrik-render" "$prefix/stderr" ||
  { echo "no log line names the missing helper:"; cat "$prefix/stderr"; exit 1; }
echo "another libexec layout renders, and a missing helper is named in the log: ok"

# 4. The Debian package: its description (what apt show prints) and its copyright file name the
# licence.
(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
deb=$(ls "$work"/deb/*.deb)
dpkg-deb -f "$deb" Description | grep -q 'GPL-3.0-or-later' ||
  { echo "the package's description does not name the licence"; exit 1; }
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/tavrik/copyright | grep -qx 'License: GPL-3+' ||
  { echo "the package's copyright file does not name GPL-3+"; exit 1; }
# No tag is accepted on purpose: any error or warning fails the check.
lintian --fail-on error,warning "$deb"
echo "lintian on $(basename "$deb"): ok"
