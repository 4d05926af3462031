#!/usr/bin/env bash
# Sets up, builds, and shows how the sample export file reads: one JSON object
# per data line, as the import would take it (no database is touched).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh ci

echo "== talvenor-import preview examples/sample.csv" >&2
if command -v jq >/dev/null; then
  build/ci/bin/talvenor-import preview examples/sample.csv | jq -c .
else
  build/ci/bin/talvenor-import preview examples/sample.csv
fi
