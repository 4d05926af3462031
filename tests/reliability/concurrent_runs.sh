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
# Usage: concurrent_runs.sh IMPORT GENERATE [LINES]
# Exits 77 (skipped) when PostgreSQL is not installed, except in CI.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
import=${1:?} generate=${2:?} lines=${3:-2000}

if ! started=$("$root/scripts/pg.sh" start 2>/dev/null); then
  [ "${CI:-}" = true ] && { echo "concurrent_runs.sh: no PostgreSQL" >&2; exit 1; }
  echo "concurrent_runs.sh: skipped, no PostgreSQL" >&2
  exit 77
fi
eval "$started"
work=$(mktemp -d "${TMPDIR:-/tmp}/talvenor-concurrent.XXXXXX")
apart=apart_$$ together=together_$$
trap 'psql -X -q -c "DROP SCHEMA IF EXISTS $apart CASCADE; DROP SCHEMA IF EXISTS $together CASCADE" \
  >/dev/null 2>&1; rm -rf "$work"' EXIT

"$generate" "$lines" --seed 7 >"$work/a.csv"
{ head -n 1 "$work/a.csv"; tail -n +2 "$work/a.csv" | tac; } >"$work/b.csv"
target() { echo "$TALVENOR_PG_CONNECT;ConnSettings=SET search_path TO $1,public"; }
for schema in "$apart" "$together"; do
  psql -X -q -v ON_ERROR_STOP=1 -c "CREATE SCHEMA $schema" >/dev/null
  "$import" init "$(target "$schema")" >/dev/null
done

"$import" run "$work/a.csv" --target "$(target "$apart")" >/dev/null
"$import" run "$work/b.csv" --target "$(target "$apart")" >/dev/null
"$import" run "$work/a.csv" --target "$(target "$together")" >"$work/a.out" 2>&1 &
pid_a=$!
"$import" run "$work/b.csv" --target "$(target "$together")" >"$work/b.out" 2>&1 &
status=0
wait "$pid_a" || { echo "the first run at once failed:" >&2; tail -n 3 "$work/a.out" >&2; status=1; }
wait $! || { echo "the second run at once failed:" >&2; tail -n 3 "$work/b.out" >&2; status=1; }

printf '%-20s %10s %10s\n' table 'apart' 'at once'
for table in Companies Candidates Positions Scripts Company_Activity Candidate_Activity \
  Position_Activities Rollup_Names RollupC_Records Rollup_Records RollupP_Records; do
  a=$(psql -X -At -c "SELECT count(*) FROM $apart.$table")
  t=$(psql -X -At -c "SELECT count(*) FROM $together.$table")
  printf '%-20s %10s %10s\n' "$table" "$a" "$t"
  [ "$a" = "$t" ] || [ "$table" = Scripts ] || status=1
done
twice=$(psql -X -At -c "SELECT count(*) - count(DISTINCT Job_Id) FROM $together.Scripts")
[ "$twice" = 0 ] || { echo "script rows at once: $twice for a position that has one" >&2; status=1; }
codes=$(psql -X -At -c "SELECT count(DISTINCT Code) FROM $together.Rollup_Names")
[ "$codes" = 2 ] || { echo "batch codes at once: $codes distinct, want 2" >&2; status=1; }
exit "$status"
