#!/usr/bin/env bash
# Kills `talvenor-import run` with SIGKILL (or stops it with SIGINT or SIGTERM)
# at random moments of an import into an SQLite target and checks, after every
# kill:
#   - the target passes PRAGMA integrity_check;
#   - it holds whole data lines only: exactly what an uninterrupted import of
#     the lines before the kill stores (every line of the file makes a
#     position of its own, so the positions tell how many lines were stored);
#   - running the file again ends with the same companies, contact persons and
#     positions (and links between them) as one uninterrupted import, each
#     record with one activity row and one batch membership;
#   - with --signal INT or TERM: the run exits 130 or 143, its JSON summary
#     says "Stopped after line N" and counts exactly the lines and positions
#     the target holds, and no -wal or -shm file is left beside the target.
#
# Usage: kill_runs.sh --import BIN --generate BIN [--kills N] [--lines N]
#                     [--seed S] [--signal KILL|INT|TERM] [--long] [--keep]
#   --kills N   kills to make (default 5; 20 with --long)
#   --lines N   data lines of the export file (default 5000; 50000 with --long)
#   --seed S    seed of the file and of the kill moments (default 1)
#   --signal S  the signal sent (default KILL)
#   --long      the long variant; TALVENOR_RELIABILITY_LONG=1 does the same
#   --keep      keep the work folder
# Prints one line per kill and a closing "N passed, N failed" line; exits 1
# when any check failed.
set -euo pipefail

import='' generate='' kills='' lines='' seed=1 keep=0 signal=KILL
long=${TALVENOR_RELIABILITY_LONG:-0}
while (($#)); do
  case $1 in
    --import) import=${2:?}; shift ;;
    --generate) generate=${2:?}; shift ;;
    --kills) kills=${2:?}; shift ;;
    --lines) lines=${2:?}; shift ;;
    --seed) seed=${2:?}; shift ;;
    --signal) signal=${2:?}; shift ;;
    --long) long=1 ;;
    --keep) keep=1 ;;
    -h | --help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "kill_runs.sh: unknown argument '$1'" >&2; exit 64 ;;
  esac
  shift
done
[ -x "$import" ] && [ -x "$generate" ] || { echo "kill_runs.sh: give --import and --generate" >&2; exit 64; }
command -v sqlite3 >/dev/null || { echo "kill_runs.sh: sqlite3 is missing" >&2; exit 69; }
case $signal in
  KILL) expect_status=137 ;;
  INT) expect_status=130 ;;
  TERM) expect_status=143 ;;
  *) echo "kill_runs.sh: --signal takes KILL, INT or TERM" >&2; exit 64 ;;
esac
if [ "$long" = 1 ]; then
  kills=${kills:-20} lines=${lines:-50000}
else
  kills=${kills:-5} lines=${lines:-5000}
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/talvenor-kill.XXXXXX")
cleanup() { if ((keep)); then echo "work folder: $work" >&2; else rm -rf "$work"; fi; }
trap cleanup EXIT

# The generator's file with the line number put before each job title, so
# that every line creates a position of its own.
"$generate" "$lines" --seed "$seed" |
  awk 'NR == 1 { print; next }
       { n = NR - 1; if (substr($0, 1, 1) == "\"") print "\"L" n " " substr($0, 2); else print "L" n " " $0 }' \
    >"$work/export.csv"

fresh() {  # target
  rm -f "$1" "$1-wal" "$1-shm"
  "$import" init "$1" >/dev/null
}

run() {  # file target
  "$import" run "$1" --target "$2" --quiet --json >"$work/summary.json" 2>"$work/stderr"
}

# shellcheck source=tests/reliability/sqlite_dump.sh
source "$(dirname "$0")/sqlite_dump.sh"

count() { sqlite3 -readonly "$1" "$2"; }

echo "== an uninterrupted import of $lines lines" >&2
fresh "$work/whole.db"
start=$(date +%s%N)
run "$work/export.csv" "$work/whole.db"
whole_ms=$((($(date +%s%N) - start) / 1000000))
dump "$work/whole.db" >"$work/whole.dump"
[ "$(count "$work/whole.db" 'SELECT COUNT(*) FROM Positions')" = "$lines" ] ||
  { echo "kill_runs.sh: the file does not make one position per line" >&2; exit 1; }
echo "   ${whole_ms} ms" >&2

RANDOM=$seed
passed=0 failed=0 landed=0
for ((i = 1; i <= kills; i++)); do
  target=$work/killed.db
  # A moment between 2% and 98% of an uninterrupted run; a run that was over
  # before it (the machine was less busy than when it was timed) is tried
  # again with a moment before the one it beat.
  span_ms=$whole_ms
  for ((try = 0; try < 5; try++)); do
    fresh "$target"
    delay_ms=$((span_ms * (2 + RANDOM % 97) / 100))
    "$import" run "$work/export.csv" --target "$target" --quiet --json >"$work/killed.json" 2>/dev/null &
    pid=$!
    sleep "$(awk -v ms="$delay_ms" 'BEGIN { printf "%.3f", ms / 1000 }')"
    kill -s "$signal" "$pid" 2>/dev/null || true
    status=0
    wait "$pid" 2>/dev/null || status=$?
    [ "$status" = "$expect_status" ] && break
    span_ms=$delay_ms
  done
  problems=()
  if [ "$status" = "$expect_status" ]; then landed=$((landed + 1)); fi
  # Looked at before anything else opens the target (a reader makes them).
  left_wal=0
  [ -e "$target-wal" ] || [ -e "$target-shm" ] && left_wal=1

  integrity=$(count "$target" 'PRAGMA integrity_check')
  [ "$integrity" = ok ] || problems+=("integrity_check: $integrity")

  # Whole lines: the killed target equals an import of its first n lines.
  n=$(count "$target" 'SELECT COUNT(*) FROM Positions')
  head -n $((n + 1)) "$work/export.csv" >"$work/prefix.csv"
  fresh "$work/prefix.db"
  run "$work/prefix.csv" "$work/prefix.db" || problems+=("the import of the first $n lines failed")
  dump "$target" >"$work/killed.dump"
  dump "$work/prefix.db" >"$work/prefix.dump"
  cmp -s "$work/killed.dump" "$work/prefix.dump" ||
    problems+=("not whole lines: $(diff "$work/prefix.dump" "$work/killed.dump" | head -n 3 | tr '\n' ' ')")

  # A stopped run says where it stopped and counts what the target holds.
  if [ "$signal" != KILL ] && [ "$status" = "$expect_status" ]; then
    ((left_wal)) && problems+=("a -wal or -shm file was left beside the target")
    message=$(jq -r '.message // ""' "$work/killed.json")
    [[ $message == "Stopped after line "*" (interrupted)" ]] ||
      problems+=("the summary says '$message'")
    for key in lines_read positions_created; do
      got=$(jq -r ".$key" "$work/killed.json")
      [ "$got" = "$n" ] || problems+=("$key is $got, the target holds $n lines")
    done
  fi

  # The same file again completes the target.
  run "$work/export.csv" "$target" || problems+=("the second run failed: $(head -c 300 "$work/stderr")")
  dump "$target" >"$work/rerun.dump"
  cmp -s "$work/rerun.dump" "$work/whole.dump" ||
    problems+=("second run differs: $(diff "$work/whole.dump" "$work/rerun.dump" | head -n 3 | tr '\n' ' ')")
  integrity=$(count "$target" 'PRAGMA integrity_check')
  [ "$integrity" = ok ] || problems+=("integrity_check after the second run: $integrity")

  what="SIG$signal $i at ${delay_ms} ms"
  [ "$status" = "$expect_status" ] || what="$what (the run had ended, status $status)"
  if ((${#problems[@]})); then
    failed=$((failed + 1))
    printf 'FAIL %s: %s lines stored\n' "$what" "$n"
    printf '     %s\n' "${problems[@]}"
  else
    passed=$((passed + 1))
    printf 'ok   %s: %s whole lines stored, integrity ok, the second run completed it\n' "$what" "$n"
  fi
done

echo "$landed of $kills SIG$signal landed during a run of $lines lines"
echo "kill_runs: $passed passed, $failed failed"
((failed == 0))
