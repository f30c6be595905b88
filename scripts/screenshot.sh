#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes docs/screenshot.png: the built application under a virtual X server, on a copy of the
# page with a few demo items put on the board through the page's own hooks.
set -euo pipefail
cd "$(dirname "$0")/.."
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
cp -r html "$demo/html"
cat > "$demo/html/demo.js" <<'JS'
window.addEventListener('load', () => {
  __setLang('en');
  const c = document.createElement('canvas');
  c.width = 480; c.height = 320;
  const g = c.getContext('2d');
  const sky = g.createLinearGradient(0, 0, 0, 320);
  sky.addColorStop(0, '#7fc4e8'); sky.addColorStop(1, '#f6e7c1');
  g.fillStyle = sky; g.fillRect(0, 0, 480, 320);
  g.fillStyle = '#f2b134'; g.beginPath(); g.arc(360, 90, 42, 0, 7); g.fill();
  g.fillStyle = '#3d7a5a'; g.beginPath(); g.moveTo(0, 320); g.lineTo(150, 150); g.lineTo(300, 320); g.fill();
  g.fillStyle = '#2f5f47'; g.beginPath(); g.moveTo(170, 320); g.lineTo(330, 180); g.lineTo(480, 320); g.fill();
  const v = document.getElementById('viewport');
  board.addImage(c.toDataURL(), 'hills.png').then(() => {
    const img = board.doc().items[0];
    board.load({ items: [
      { ...img, x: 60, y: 60 },
      { type: 'note', x: 600, y: 70, w: 240, h: 150, text: 'Trip ideas\n· hills at sunrise\n· 山顶看日出', color: '#fff3a8' },
      { type: 'note', x: 620, y: 260, w: 220, h: 120, text: 'Drop images here, or fetch one by URL →', color: '#c9f0d8' },
      { type: 'file', x: 80, y: 430, w: 220, h: 64, name: 'budget.csv', mime: 'text/csv', dataUrl: 'data:text/csv;base64,YSxi' },
    ] });
    v.scrollTo(0, 0);
    document.getElementById('ai-prompt').value = 'Suggest a title for this board';
    document.getElementById('ai-reply').textContent = '“Sunrise in the Hills”';
    __vaultReply({ reqId: 'vault-list-demo', keyId: '', ok: true, has: false, hint: '', backend: 'keychain', keys: ['ai-key'] });
    // After the real vault has answered for the demo key (it holds none), show a hint as it would.
    setTimeout(() => { document.querySelector('#keys-list .key-hint').textContent = 'sk-…9f3a'; }, 2000);
  });
});
JS
sed -i 's#<script src="app.js"></script>#<script src="app.js"></script>\n<script src="demo.js"></script>#' "$demo/html/index.html"

export NO_AT_BRIDGE=1 GTK_A11Y=none LIBGL_ALWAYS_SOFTWARE=1
xvfb-run -a -s "-screen 0 1400x900x24" bash -c '
  ./build/tavrik --resources "$1" & pid=$!
  for i in $(seq 1 100); do xdotool search --name TAVRIK >/dev/null 2>&1 && break; sleep 0.1; done
  sleep 8
  import -window root -crop 1280x820+0+0 +repage docs/screenshot.png
  kill $pid' _ "$demo"
echo "wrote docs/screenshot.png"
