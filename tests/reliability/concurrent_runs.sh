#!/usr/bin/env bash
# Two `talvenor-import run` of overlapping export files (the same generated
# file, the second with its data lines in the opposite order) started at the
# same moment into one PostgreSQL target must store what the same two runs
# store one after the other: the same number of rows in every table, two
# distinct batch codes, and both runs exit 0. Script rows are the exception:
# whether a new position gets one depends on the line that creates it (its
# first contact's e-mail), so which run creates it may change their number;
# they are checked for no position holding two. Uses the shared throwaway
# cluster (scripts/pg.sh), each target a schema of its own.
#
# Usage: concurrent_runs.sh --import BIN --generate BIN [--lines N] [--seed S]
# Exits 77 (skipped) when PostgreSQL is not installed, except in CI.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

import='' generate='' lines=2000 seed=7
while (($#)); do
  case $1 in
    --import) import=${2:?}; shift ;;
    --generate) generate=${2:?}; shift ;;
    --lines) lines=${2:?}; shift ;;
    --seed) seed=${2:?}; shift ;;
    *) echo "concurrent_runs.sh: unknown argument '$1'" >&2; exit 64 ;;
  esac
  shift
done
[ -x "$import" ] && [ -x "$generate" ] || { echo "concurrent_runs.sh: give --import and --generate" >&2; exit 64; }

if ! started=$("$root/scripts/pg.sh" start 2>/dev/null); then
  if [ "${CI:-}" = true ]; then echo "concurrent_runs.sh: no PostgreSQL" >&2; exit 1; fi
  echo "concurrent_runs.sh: skipped, no PostgreSQL" >&2
  exit 77
fi
eval "$started"

work=$(mktemp -d "${TMPDIR:-/tmp}/talvenor-concurrent.XXXXXX")
apart=apart_$$ together=together_$$
cleanup() {
  psql -X -q -c "DROP SCHEMA IF EXISTS $apart CASCADE; DROP SCHEMA IF EXISTS $together CASCADE" \
    >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"$generate" "$lines" --seed "$seed" >"$work/a.csv"
{ head -n 1 "$work/a.csv"; tail -n +2 "$work/a.csv" | tac; } >"$work/b.csv"

target() {  # schema
  echo "$TALVENOR_PG_CONNECT;ConnSettings=SET search_path TO $1,public"
}
for schema in "$apart" "$together"; do
  psql -X -q -v ON_ERROR_STOP=1 -c "CREATE SCHEMA $schema" >/dev/null
  "$import" init "$(target "$schema")" >/dev/null
done

"$import" run "$work/a.csv" --target "$(target "$apart")" >"$work/apart_a.out"
"$import" run "$work/b.csv" --target "$(target "$apart")" >"$work/apart_b.out"

"$import" run "$work/a.csv" --target "$(target "$together")" >"$work/together_a.out" 2>&1 &
pid_a=$!
"$import" run "$work/b.csv" --target "$(target "$together")" >"$work/together_b.out" 2>&1 &
pid_b=$!
status=0
wait "$pid_a" || { echo "the first run at once exited $?" >&2; status=1; }
wait "$pid_b" || { echo "the second run at once exited $?" >&2; status=1; }

tables="Companies Candidates Positions Scripts Company_Activity Candidate_Activity
        Position_Activities Rollup_Names RollupC_Records Rollup_Records RollupP_Records"
printf '%-20s %10s %10s\n' table 'apart' 'at once'
for table in $tables; do
  a=$(psql -X -At -c "SELECT count(*) FROM $apart.$table")
  t=$(psql -X -At -c "SELECT count(*) FROM $together.$table")
  printf '%-20s %10s %10s\n' "$table" "$a" "$t"
  [ "$a" = "$t" ] || [ "$table" = Scripts ] || status=1
done
twice=$(psql -X -At -c "SELECT count(*) - count(DISTINCT Job_Id) FROM $together.Scripts")
[ "$twice" = 0 ] || { echo "script rows at once: $twice for a position that has one" >&2; status=1; }
codes=$(psql -X -At -c "SELECT count(DISTINCT Code) FROM $together.Rollup_Names")
[ "$codes" = 2 ] || { echo "batch codes at once: $codes distinct, want 2" >&2; status=1; }
if ((status)); then
  echo "--- first run at once" >&2; tail -n 5 "$work/together_a.out" >&2
  echo "--- second run at once" >&2; tail -n 5 "$work/together_b.out" >&2
fi
exit "$status"
