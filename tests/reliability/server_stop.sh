#!/usr/bin/env bash
# Stops the PostgreSQL server in the middle of `talvenor-import run` through
# ODBC and checks that:
#   - the run ends by itself (no hang), says the connection was lost and exits
#     with 69;
#   - every record stored before the stop is still there after a restart;
#   - running the file again completes the target: the same companies, contact
#     persons and positions (and links between them) as one uninterrupted
#     import, none twice.
# The cluster is a private one (scripts/pg.sh with its own TALVENOR_PG_DIR),
# so the cluster other tests use is never stopped.
#
# Usage: server_stop.sh --import BIN --generate BIN [--lines N] [--seed S] [--keep]
#   --lines N   data lines of the export file (default 3000)
#   --seed S    seed of the file (default 1)
# Exits 77 (skipped) when PostgreSQL is not installed, except in CI.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

import='' generate='' lines=3000 seed=1 keep=0
while (($#)); do
  case $1 in
    --import) import=${2:?}; shift ;;
    --generate) generate=${2:?}; shift ;;
    --lines) lines=${2:?}; shift ;;
    --seed) seed=${2:?}; shift ;;
    --keep) keep=1 ;;
    -h | --help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "server_stop.sh: unknown argument '$1'" >&2; exit 64 ;;
  esac
  shift
done
[ -x "$import" ] && [ -x "$generate" ] || { echo "server_stop.sh: give --import and --generate" >&2; exit 64; }

PG_BIN=${TALVENOR_PG_BIN:-/usr/lib/postgresql/15/bin}
if [ ! -x "$PG_BIN/pg_ctl" ]; then
  if [ "${CI:-}" = true ]; then echo "server_stop.sh: no PostgreSQL in $PG_BIN" >&2; exit 1; fi
  echo "server_stop.sh: skipped, no PostgreSQL in $PG_BIN" >&2
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/talvenor-stop.XXXXXX")
chmod 755 "$work"
# A short folder of its own: the socket path must stay under 108 bytes.
export TALVENOR_PG_DIR=/tmp/tv-stop-$$
import_pid=''
cleanup() {
  [ -n "$import_pid" ] && kill -9 "$import_pid" 2>/dev/null || true
  "$root/scripts/pg.sh" stop >/dev/null 2>&1 || true
  if ((keep)); then echo "work folder: $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
eval "$("$root/scripts/pg.sh" start)"

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
server() {  # stop|start
  if [ "$1" = stop ]; then
    as_owner "$PG_BIN/pg_ctl" -D "$TALVENOR_PG_DIR/data" -m fast -w -t 60 stop >/dev/null
  else
    as_owner "$PG_BIN/pg_ctl" -D "$TALVENOR_PG_DIR/data" -l "$TALVENOR_PG_DIR/server.log" \
      -w -t 60 start >/dev/null
  fi
}
sql() {  # database statement
  psql -X -q -At -v ON_ERROR_STOP=1 -d "$1" -c "$2"
}

# Two targets: the one whose server goes away, and one imported without a stop.
sql postgres "CREATE DATABASE whole" >/dev/null
victim=$TALVENOR_PG_CONNECT
whole=${TALVENOR_PG_CONNECT/Database=talvenor/Database=whole}
"$import" init "$victim" >/dev/null
"$import" init "$whole" >/dev/null

# Every line makes a position of its own (the line number leads its title).
"$generate" "$lines" --seed "$seed" |
  awk 'NR == 1 { print; next }
       { n = NR - 1; if (substr($0, 1, 1) == "\"") print "\"L" n " " substr($0, 2); else print "L" n " " $0 }' \
    >"$work/export.csv"

# Every record with what it points at instead of keys, sorted, duplicates kept.
dump() {  # database
  sql "$1" "
    SELECT 'company', Company_Name, Phone, Fax, Address_1, City, State, Zip, Email_Address
      FROM Companies
    UNION ALL
    SELECT 'candidate', ca.First_Name, ca.Middle_Init, ca.Last_Name, ca.Title, ca.Work_Phone,
           ca.Fax_Phone, ca.Email_Address, co.Company_Name || ' ' || co.Phone
      FROM Candidates ca LEFT JOIN Companies co ON co.Company_Id = ca.Company_Id
    UNION ALL
    SELECT 'position', p.Job_Title, p.City, p.Zip, p.Contact_Name, p.Contact_Phone,
           p.Date_Posted::text, co.Company_Name, ca.First_Name || ' ' || ca.Last_Name
      FROM Positions p LEFT JOIN Companies co ON co.Company_Id = p.Company_Id
      LEFT JOIN Candidates ca ON ca.Candidate_Id = p.Candidate_Id" | LC_ALL=C sort
}
extras() {  # database: activity rows, memberships, script rows
  sql "$1" "SELECT (SELECT COUNT(*) FROM Company_Activity) + (SELECT COUNT(*) FROM Candidate_Activity)
    + (SELECT COUNT(*) FROM Position_Activities), (SELECT COUNT(*) FROM RollupC_Records)
    + (SELECT COUNT(*) FROM Rollup_Records) + (SELECT COUNT(*) FROM RollupP_Records),
    (SELECT COUNT(*) FROM Scripts)"
}

echo "== an uninterrupted import of $lines lines" >&2
"$import" run "$work/export.csv" --target "$whole" --quiet >/dev/null
dump whole >"$work/whole.dump"

failed=0
fail() { echo "FAIL $*"; failed=$((failed + 1)); }

echo "== the same import, the server stopped part-way" >&2
"$import" run "$work/export.csv" --target "$victim" >"$work/run.out" 2>"$work/run.err" &
import_pid=$!
# Stop once a tenth of the lines are in.
for ((i = 0; i < 1200; i++)); do
  n=$(sql talvenor "SELECT COUNT(*) FROM Positions")
  ((n >= lines / 10)) && break
  kill -0 "$import_pid" 2>/dev/null || break
  sleep 0.05
done
sql talvenor "SELECT Job_Title FROM Positions" | LC_ALL=C sort >"$work/before.txt"
server stop
stopped_at=$(date +%s)

# The run must end by itself.
for ((i = 0; i < 600; i++)); do
  kill -0 "$import_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$import_pid" 2>/dev/null; then
  fail "the run still goes on 60 s after the server stopped"
  kill -9 "$import_pid"
fi
status=0
wait "$import_pid" || status=$?
import_pid=''
echo "   the run ended $(($(date +%s) - stopped_at)) s after the stop, exit status $status" >&2
[ "$status" = 69 ] || fail "exit status $status, not 69"
grep -q "Stopped after line .* of .*: .*import the same file again to add the rest" "$work/run.err" ||
  fail "the run did not say the connection was lost: $(tail -n 2 "$work/run.err")"
lines_read=$(awk '/^Data lines read:/ { print $4 }' "$work/run.out")
[ -n "$lines_read" ] && ((lines_read < lines)) ||
  fail "the run read '$lines_read' lines of $lines after the server stopped"

server start
sql talvenor "SELECT Job_Title FROM Positions" | LC_ALL=C sort >"$work/after.txt"
lost=$(LC_ALL=C comm -23 "$work/before.txt" "$work/after.txt" | wc -l)
[ "$lost" = 0 ] || fail "$lost positions stored before the stop are gone"
echo "   $(wc -l <"$work/before.txt") positions stored before the stop, $(wc -l <"$work/after.txt") after the restart" >&2

echo "== the file again, after the restart" >&2
"$import" run "$work/export.csv" --target "$victim" --quiet --json >"$work/rerun.json" 2>"$work/rerun.err" ||
  fail "the second run failed: $(head -c 300 "$work/rerun.err")"
dump talvenor >"$work/rerun.dump"
cmp -s "$work/rerun.dump" "$work/whole.dump" ||
  fail "the target differs from an uninterrupted import: $(diff "$work/whole.dump" "$work/rerun.dump" | head -n 4 | tr '\n' ' ')"
# Only the records of the line the stop struck may lack their activity row,
# membership or script row (the second run finds them and adds nothing).
read -r want_activity want_members want_scripts < <(extras whole | tr '|' ' ')
read -r got_activity got_members got_scripts < <(extras talvenor | tr '|' ' ')
for pair in "activity rows:$want_activity:$got_activity" "memberships:$want_members:$got_members" \
  "script rows:$want_scripts:$got_scripts"; do
  IFS=: read -r what want got <<<"$pair"
  ((got <= want && want - got <= 7)) || fail "$what: $got, an uninterrupted import has $want"
done

if ((failed)); then
  echo "server_stop: 0 passed, 1 failed"
  exit 1
fi
echo "ok   the run stopped with status 69 at data line $lines_read of $lines; nothing stored before the stop was lost; the second run completed the target without duplicates"
echo "server_stop: 1 passed, 0 failed"
