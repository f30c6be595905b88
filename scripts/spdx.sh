#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The licence identifier at the top of every tracked source file, in that file's comment form:
# C++, JavaScript and CSS, shell, Python and CMake, HTML. A shebang or an HTML doctype stays the
# first line, the identifier follows it. Checked-in fixtures (fuzz seeds, test data) are left alone.
# Usage: spdx.sh          adds the line where it is missing (safe to run again);
#        spdx.sh --check  lists the files without it and fails if there are any.
set -euo pipefail
cd "$(dirname "$0")/.."
id="SPDX-License-Identifier: GPL-3.0-or-later"
check=0
[ "${1:-}" = --check ] && check=1

# The tracked source files: by name, and any other file that starts with a shebang.
sources() {
  git ls-files -- '*.cpp' '*.h' '*.js' '*.mjs' '*.css' '*.html' '*.sh' '*.py' 'CMakeLists.txt' \
    '*/CMakeLists.txt' ':!:fuzz/corpus/' ':!:tests/*/data/'
  git ls-files -z | while IFS= read -r -d '' f; do
    case "${f##*/}" in *.*) continue ;; esac
    [ -f "$f" ] && [ "$(head -c2 "$f")" = '#!' ] && printf '%s\n' "$f"
  done
}

# The identifier as a comment in the file's language.
line_for() {
  case "$1" in
    *.cpp | *.h | *.js | *.mjs) echo "// $id" ;;
    *.css) echo "/* $id */" ;;
    *.html) echo "<!-- $id -->" ;;
    *) echo "# $id" ;;
  esac
}

missing=0
while IFS= read -r f; do
  # Present on the first line, or on the second after a shebang or doctype.
  if head -n2 "$f" | grep -qF "$id"; then continue; fi
  if ((check)); then
    echo "no licence line: $f"
    missing=$((missing + 1))
    continue
  fi
  line=$(line_for "$f")
  first=$(head -n1 "$f")
  if [[ $first == '#!'* || $first == '<!'[dD][oO][cC][tT][yY][pP][eE]* ]]; then
    sed -i "1a\\$line" "$f"
  elif [ -s "$f" ]; then
    sed -i "1i\\$line" "$f"
  else
    echo "$line" >"$f"
  fi
done < <(sources | sort -u)

if ((check && missing)); then
  echo "$missing tracked source files lack the line \"$id\": bash scripts/spdx.sh adds it" >&2
  exit 1
fi
exit 0
