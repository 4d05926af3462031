#!/usr/bin/env bash
# Imports an export file into an SQLite target on a small real filesystem (a
# tmpfs of a few MiB) that fills part-way, and checks:
#   - the run exits 74, its JSON summary is not "completed" and says
#     "Stopped after line N of FILE: ...";
#   - the counts it printed are exactly the rows the target holds;
#   - the target passes PRAGMA integrity_check;
#   - with room again, the same file completes the target: it then equals one
#     uninterrupted import, nothing stored twice.
# Needs root (to mount the tmpfs); exits 77 (skipped) without it.
#
# Usage: full_disk.sh --import BIN --generate BIN [--lines N] [--size SIZE] [--keep]
set -euo pipefail

import='' generate='' lines=20000 size=6m keep=0
while (($#)); do
  case $1 in
    --import) import=${2:?}; shift ;;
    --generate) generate=${2:?}; shift ;;
    --lines) lines=${2:?}; shift ;;
    --size) size=${2:?}; shift ;;
    --keep) keep=1 ;;
    -h | --help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "full_disk.sh: unknown argument '$1'" >&2; exit 64 ;;
  esac
  shift
done
[ -x "$import" ] && [ -x "$generate" ] || { echo "full_disk.sh: give --import and --generate" >&2; exit 64; }
command -v sqlite3 >/dev/null && command -v jq >/dev/null ||
  { echo "full_disk.sh: sqlite3 and jq are needed" >&2; exit 69; }

work=$(mktemp -d "${TMPDIR:-/tmp}/talvenor-full.XXXXXX")
small=$work/small
mkdir "$small"
cleanup() {
  umount "$small" 2>/dev/null || true
  if ((keep)); then echo "work folder: $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
if [ "$(id -u)" -ne 0 ] || ! mount -t tmpfs -o "size=$size" tmpfs "$small" 2>/dev/null; then
  echo "full_disk.sh: skipped: mounting a tmpfs needs root"
  exit 77
fi

# shellcheck source=tests/reliability/sqlite_dump.sh
source "$(dirname "$0")/sqlite_dump.sh"
count() { sqlite3 -readonly "$1" "$2"; }

"$generate" "$lines" --seed 3 >"$work/export.csv"
"$import" init "$work/whole.db" >/dev/null
"$import" run "$work/export.csv" --target "$work/whole.db" --quiet >/dev/null
dump "$work/whole.db" >"$work/whole.dump"

failed=0
fail() { echo "FAIL $*"; failed=$((failed + 1)); }

target=$small/target.db
"$import" init "$target" >/dev/null
status=0
"$import" run "$work/export.csv" --target "$target" --quiet --json >"$work/run.json" 2>"$work/run.err" ||
  status=$?
echo "   the run on a $size filesystem ended with status $status: $(jq -r '.message // ""' "$work/run.json")" >&2
[ "$status" = 74 ] || fail "exit status $status, not 74: $(tail -n 2 "$work/run.err")"
[ "$(jq -r .completed "$work/run.json")" = false ] || fail "the summary says completed"
jq -r .message "$work/run.json" | grep -q '^Stopped after line [0-9]* of .*: .*import the same file again to add the rest\.$' ||
  fail "the summary's message: $(jq -r .message "$work/run.json")"

# What the run counted is what the target holds (read from a copy with room,
# so that reading it needs no space on the full filesystem).
cp "$target"* "$work/"
copy=$work/target.db
for pair in companies_created:Companies contacts_created:Candidates positions_created:Positions \
  script_rows:Scripts; do
  key=${pair%%:*} table=${pair#*:}
  said=$(jq -r ".$key" "$work/run.json")
  held=$(count "$copy" "SELECT COUNT(*) FROM $table")
  [ "$said" = "$held" ] || fail "$key is $said, the target holds $held rows in $table"
done
lines_read=$(jq -r .lines_read "$work/run.json")
((lines_read > 0 && lines_read < lines)) || fail "lines_read is $lines_read of $lines"
[ "$(count "$copy" 'PRAGMA integrity_check')" = ok ] || fail "integrity_check of the full target"

"$import" run "$work/export.csv" --target "$copy" --quiet >/dev/null 2>"$work/rerun.err" ||
  fail "the second run failed: $(head -c 300 "$work/rerun.err")"
dump "$copy" >"$work/rerun.dump"
cmp -s "$work/rerun.dump" "$work/whole.dump" ||
  fail "the completed target differs: $(diff "$work/whole.dump" "$work/rerun.dump" | head -n 3 | tr '\n' ' ')"

if ((failed)); then
  echo "full_disk: 0 passed, 1 failed"
  exit 1
fi
echo "ok   the disk filled after $lines_read of $lines lines: exit 74, counts equal to the rows stored, the second run completed the target"
echo "full_disk: 1 passed, 0 failed"
