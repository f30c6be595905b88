#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building and running need (scripts/packages.txt) when it is missing, builds the
# application, and starts it. Arguments go to tavrik (for example --resources DIR or --inspector).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec ./build/tavrik "$@"
