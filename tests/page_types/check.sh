#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the reference page against the page kit's types: installs the TypeScript pinned in
# package-lock.json into WORKDIR with npm ci (from npm's cache when it holds it), then runs
# tsc --noEmit. Usage: check.sh WORKDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=${1:?usage: check.sh WORKDIR}
mkdir -p "$work"
if ! cmp -s "$here/package-lock.json" "$work/package-lock.json" || [ ! -x "$work/node_modules/.bin/tsc" ]; then
  cp "$here/package.json" "$here/package-lock.json" "$work/"
  (cd "$work" && npm ci --prefer-offline --no-audit --no-fund --loglevel=error)
fi
exec "$work/node_modules/.bin/tsc" --noEmit --pretty false -p "$here/tsconfig.json"
