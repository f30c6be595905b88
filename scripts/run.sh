#!/usr/bin/env bash
# Installs what is missing, builds, and starts the application. Arguments go to tavrik
# (for example --resources DIR or --inspector).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec ./build/tavrik "$@"
