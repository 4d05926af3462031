#!/usr/bin/env bash
# Configures and builds one preset (default: ci). Usage: scripts/build.sh [dev|ci|release]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-ci}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
