#!/usr/bin/env bash
# Draws the window, after an import of the sample export file (named by its
# path in the repository, so that no folder of the machine shows), into
# docs/window.png (no screen needed: Qt's offscreen platform).
#
#   scripts/render_window.sh [BUILD_DIR] [OUTPUT.png]
#
# BUILD_DIR defaults to build/ci (scripts/build.sh ci makes it). The window is
# started in a throwaway folder holding a catalogue with two entries (a
# database file and a masked connection text) and a fresh target database;
# the file entry is selected as if named on the command line.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/ci}
output=${2:-docs/window.png}

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVENOR_BUILD_GUI=ON >/dev/null
fi
cmake --build "$build" --target talvenor-import talvenor-render-window >/dev/null

folder=$(mktemp -d "${TMPDIR:-/tmp}/talvenor-window.XXXXXX")
trap 'rm -rf "$folder"' EXIT

"$build/bin/talvenor-import" init "$folder/sales.db" >/dev/null
"$build/bin/talvenor-import" catalogue add "Sales Office" sales.db "//backup/sales" \
  --folder "$folder" >/dev/null
"$build/bin/talvenor-import" catalogue add "Head Office" \
  "ODBC;DSN=headoffice;UID=importer;PWD=secret" "" --folder "$folder" >/dev/null

mkdir -p "$(dirname "$output")"
QT_QPA_PLATFORM=offscreen "$build/bin/talvenor-render-window" "$output" \
  --folder "$folder" --import examples/sample.csv --database "Sales Office"
echo "wrote $output"
