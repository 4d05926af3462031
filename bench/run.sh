#!/usr/bin/env bash
# Throughput benchmark of the import. Builds the release binary, imports
# generated export files of 25,000, 100,000, 200,000 and 1,000,000 lines into
# fresh SQLite targets, times the sqlite3 shell's .import of the same
# 100,000- and 1,000,000-line files and the reference program (a hand-written
# C import making the same per-line statements, prepared, in one transaction;
# found in ../shared/reference-bench beside the repository) on the same files
# in the same run, imports 10,000 lines into a throwaway PostgreSQL (its
# commits synced to disk) through psqlODBC, once timed and once under strace to
# count its round trips, then imports through talvenor-relay, which adds 0, 1
# and 10 ms to every round trip (10,000, 2,000 and 300 lines: the delayed runs
# are smaller so that they end in reasonable time), prints the figures, and
# exits with 1 when a target is missed:
#   - the 100,000-line import takes at most 4 times the shell's .import and
#     1.2 times the reference program;
#   - the 1,000,000-line import takes at most 6 times the shell's .import and
#     1.3 times the reference program, and its per-line cost is at most 1.5
#     times that at 25,000 lines;
#   - the peak memory of the 1,000,000-line import is at most 320 MiB, and
#     that of preview of the same file under 32 MiB;
#   - PostgreSQL: at most 0.25 round trips (sendto calls) per data line and at
#     least 8,000 lines/s; through the relay at least 3,000 lines/s at 1 ms
#     added round trip and 400 lines/s at 10 ms.
# With --quick the 1,000,000-line checks are made on 200,000 lines instead
# (per-line cost against 25,000 lines at most 1.25, memory and .import ratio
# as for a million), which proves less.
#
# Usage: bench/run.sh [--quick] [--no-pg] [--latency-only] [--repeat N] [--seed S]
#                     [--keep] [--bin DIR] [--compare [DIR]] [--no-reference]
#   --quick     leave out the 1,000,000-line file (memory is then checked on
#               the 200,000-line import, which proves less)
#   --no-pg     leave out the PostgreSQL imports
#   --latency-only  only the PostgreSQL imports: on the socket (timed, under
#               strace, and with the server's time per statement logged) and
#               through the relay (0, 1 and 10 ms added round trip)
#   --repeat N  time each import up to 200,000 lines, the .import and the
#               reference program in N rounds and keep the fastest of each
#               (default 3), since other work on the machine only ever slows a
#               run down
#   --seed S    generator seed (default 1)
#   --keep      keep the work folder (files, targets, summaries)
#   --bin DIR   use talvenor-import, talvenor-generate and talvenor-relay from
#               DIR instead of building the release preset (e.g. a build made
#               for profiling)
#   --compare [DIR]  the reference program must run (without --compare a
#               missing reference program is skipped with a note); with DIR,
#               also import the 25,000-line file with the talvenor-import of
#               DIR (another build, e.g. of an earlier commit) and check that
#               both targets have the same content signature (bench/signature.sh)
#   --no-reference  leave out the reference program
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

quick=0 pg=1 sqlite=1 repeat=3 seed=1 keep=0 bin='' compare='' reference=1 need_reference=0
while (($#)); do
  case $1 in
    --quick) quick=1 ;;
    --no-pg) pg=0 ;;
    --latency-only) sqlite=0 pg=1 reference=0 ;;
    --no-reference) reference=0 ;;
    --repeat) repeat=${2:?--repeat needs a number}; shift ;;
    --seed) seed=${2:?--seed needs a number}; shift ;;
    --keep) keep=1 ;;
    --bin) bin=$(cd "${2:?--bin needs a folder}" && pwd); shift ;;
    --compare)
      need_reference=1
      if (($# > 1)) && [[ $2 != -* ]]; then
        compare=$(cd "$2" && pwd)
        shift
      fi
      ;;
    -h | --help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "run.sh: unknown argument '$1' (see --help)" >&2; exit 64 ;;
  esac
  shift
done

max_ratio=4 max_ratio_million=6 max_scaling=1.5 max_scaling_quick=1.25 max_mib=320
max_preview_mib=32 max_round_trips=0.25 min_pg_lines_per_second=8000
max_reference_ratio=1.2 max_reference_ratio_million=1.3
# Added round trip in ms, its line count and its lines/s target (0: none).
latency_ms=(0 1 10) latency_lines=(10000 2000 300) latency_min=(0 3000 400)

scripts/setup.sh
if [ -z "$bin" ]; then
  echo "== building the release preset" >&2
  scripts/build.sh release >&2
  bin=$root/build/release/bin
fi
import=$bin/talvenor-import
generate=$bin/talvenor-generate
counter=$bin/talvenor-sqlite-counter.so
relay=$bin/talvenor-relay
for program in "$import" "$generate" "$relay" /usr/bin/time; do
  [ -x "$program" ] || { echo "run.sh: $program is missing" >&2; exit 69; }
done
command -v sqlite3 >/dev/null || { echo "run.sh: the sqlite3 shell is missing" >&2; exit 69; }
command -v jq >/dev/null || { echo "run.sh: jq is missing" >&2; exit 69; }
if ((pg)); then
  command -v strace >/dev/null || { echo "run.sh: strace is missing" >&2; exit 69; }
fi

# The reference program: in the shared folder beside the repository, or
# beside the main checkout when this is a linked worktree of it.
reference_dir=$(dirname "$root")/shared/reference-bench
if [ ! -d "$reference_dir" ] && common=$(git rev-parse --path-format=absolute --git-common-dir 2>/dev/null); then
  reference_dir=$(dirname "$(dirname "$common")")/shared/reference-bench
fi
if ((reference)) && [ ! -f "$reference_dir/bench_sqlite.c" ]; then
  if ((need_reference)); then
    echo "run.sh: the reference program is missing ($reference_dir/bench_sqlite.c)" >&2
    exit 69
  fi
  echo "run.sh: no reference program in $reference_dir; its ratios are left out" >&2
  reference=0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/talvenor-bench.XXXXXX")
pg_started=0 relay_pid=''
finish() {
  if [ -n "$relay_pid" ]; then kill "$relay_pid" 2>/dev/null || true; fi
  if ((pg_started)); then scripts/pg.sh stop >/dev/null 2>&1 || true; fi
  if ((keep)); then echo "work folder kept: $work" >&2; else rm -rf "$work"; fi
}
trap finish EXIT

# Runs a command under /usr/bin/time, its stdout into $1; leaves "seconds
# peak-KiB cpu-seconds" in $work/time. A failing command ends the benchmark.
timed() {
  local out=$1
  shift
  if ! /usr/bin/time -f "%e %M %U %S" -o "$work/time.raw" "$@" >"$out" 2>"$out.err"; then
    echo "run.sh: failed: $*" >&2
    tail -n 20 "$out.err" >&2
    exit 70
  fi
  # time puts a status line first when the command fails; the figures are last.
  tail -n 1 "$work/time.raw" | awk '{ print $1, $2, $3 + $4 }' >"$work/time"
}

calc() { awk "BEGIN { printf \"%s\", $* }"; }

# Statements a run sent: the summary's own count when it gives one, else the
# count of the SQLite counter preloaded into the run, else (PostgreSQL) an
# estimate from what it created and matched: a look-up per company, contact
# and position, and per created record its insert, activity row,
# Last_Activity update and batch membership, plus the script rows.
statements() {  # summary.json counts-file
  if jq -e '.statements != null' "$1" >/dev/null; then
    jq -r .statements "$1"
    return
  fi
  local counted=''
  if [ -s "$2" ]; then counted=$(awk '$1 == "statements" { print $2 }' "$2"); fi
  if [ "${counted:-0}" != 0 ]; then
    echo "$counted"
    return
  fi
  jq -r '"~\(2 * .lines_read + .contacts_created + .contacts_matched
             + 4 * (.companies_created + .contacts_created + .positions_created)
             + .script_rows)"' "$1"
}

commits() {  # counts-file
  local n=''
  [ -s "$1" ] && n=$(awk '$1 == "commits" { print $2 }' "$1")
  if [ "${n:-0}" != 0 ]; then echo "$n"; else echo '-'; fi
}

# Imports a generated file of $1 lines into a fresh target $2 (a file path or
# an ODBC connection text), $3 times; sets run_secs (the fastest), run_cpu (its
# processor seconds), run_kib (the largest peak), run_json (the last summary)
# and run_counts (the last counts).
import_file() {
  local lines=$1 target=$2 times=$3 file=$work/export-$1.csv i
  run_secs='' run_cpu='' run_kib=0 run_json=$work/summary-$lines.json run_counts=$work/counts-$lines.txt
  local -a preload=()
  [ -f "$counter" ] && preload=(env LD_PRELOAD="$counter" TALVENOR_SQL_COUNT_FILE="$run_counts")
  for ((i = 0; i < times; i++)); do
    if [[ $target != *[Oo][Dd][Bb][Cc]* ]]; then
      rm -f "$target" "$target-wal" "$target-shm"
    fi
    "$import" init "$target" >"$work/init.out" 2>&1 ||
      { cat "$work/init.out" >&2; echo "run.sh: init failed" >&2; exit 70; }
    rm -f "$run_counts"
    timed "$run_json" "${preload[@]}" "$import" run "$file" --target "$target" --quiet --json
    local secs kib cpu
    read -r secs kib cpu <"$work/time"
    if [ -z "$run_secs" ] || (($(calc "$secs < $run_secs"))); then run_secs=$secs run_cpu=$cpu; fi
    if ((kib > run_kib)); then run_kib=$kib; fi
    local read_lines
    read_lines=$(jq -r .lines_read "$run_json")
    if [ "$read_lines" != "$lines" ]; then
      echo "run.sh: the import read $read_lines of $lines lines" >&2
      cat "$run_json" >&2
      exit 70
    fi
  done
}

sizes=()
((sqlite)) && sizes+=(25000 100000 200000)
((sqlite && !quick)) && sizes+=(1000000)
((pg)) && sizes+=(10000)
((pg)) && sizes+=("${latency_lines[@]}")

echo "== generating export files (seed $seed)" >&2
for n in $(printf '%s\n' "${sizes[@]}" | sort -un); do
  "$generate" "$n" --seed "$seed" >"$work/export-$n.csv"
done

declare -A secs cpu kib stmts commit ref_secs ref_cpu ref_kib ref_stmts
# Keeps the figures of the import of $1 lines just made when it was the
# fastest so far (the largest peak memory of all its runs).
keep_fastest() {
  local n=$1
  if [ -z "${secs[$n]:-}" ] || (($(calc "$run_secs < ${secs[$n]}"))); then
    secs[$n]=$run_secs cpu[$n]=$run_cpu
  fi
  if ((run_kib > ${kib[$n]:-0})); then kib[$n]=$run_kib; fi
  stmts[$n]=$(statements "$run_json" "$run_counts") commit[$n]=$(commits "$run_counts")
  cp "$run_json" "$work/sqlite-$n.json"
}

# Runs the reference program on the file of $1 lines (one transaction, a
# 256 MiB page cache, as the import's default) and keeps its figures when it
# was the fastest so far.
reference_run() {
  local n=$1 db=$work/reference-$1.db
  timed "$work/reference.out" "$work/bench_sqlite" -c 262144 e "$reference_dir/schema.sql" \
    "$work/export-$n.csv" "$db"
  rm -f "$db" "$db-wal" "$db-shm" "$db-journal"
  local s k c
  read -r s k c <"$work/time"
  if [ -z "${ref_secs[$n]:-}" ] || (($(calc "$s < ${ref_secs[$n]}"))); then
    ref_secs[$n]=$s ref_cpu[$n]=$c
  fi
  if ((k > ${ref_kib[$n]:-0})); then ref_kib[$n]=$k; fi
  ref_stmts[$n]=$(sed -n 's/.* stmts=\([0-9]*\).*/\1/p' "$work/reference.out")
}

# The imports up to 200,000 lines, the sqlite3 shell's raw .import of the
# same 100,000-line file (every line into one table, no look-ups: the floor an
# import cannot go below) and the reference program run in rounds, one of each
# per round, so that a slow spell of a shared machine falls on all of them
# alike rather than on the runs of one size; the fastest run of each is kept.
sqlite_rounds() {
  local round n s k c
  raw_secs='' raw_cpu='' raw_kib=0
  for ((round = 1; round <= repeat; round++)); do
    for n in 25000 100000 200000; do
      echo "== round $round of $repeat: importing $n lines into SQLite" >&2
      import_file "$n" "$work/target-$n.db" 1
      keep_fastest "$n"
      if ((reference)); then
        echo "== round $round of $repeat: reference program, $n lines" >&2
        reference_run "$n"
      fi
    done
    echo "== round $round of $repeat: sqlite3 .import of 100000 lines" >&2
    rm -f "$work/raw.db"
    timed "$work/raw.out" sqlite3 "$work/raw.db" ".mode csv" ".import $work/export-100000.csv t"
    read -r s k c <"$work/time"
    if [ -z "$raw_secs" ] || (($(calc "$s < $raw_secs"))); then raw_secs=$s raw_cpu=$c; fi
    if ((k > raw_kib)); then raw_kib=$k; fi
  done
}

sqlite_million() {
  echo "== importing 1000000 lines into SQLite (1 run)" >&2
  import_file 1000000 "$work/target-1000000.db" 1
  keep_fastest 1000000
  rm -f "$work/target-1000000.db" "$work/target-1000000.db-wal" "$work/target-1000000.db-shm"
  if ((reference)); then
    echo "== reference program, 1000000 lines" >&2
    reference_run 1000000
  fi
  echo "== sqlite3 .import of 1000000 lines" >&2
  rm -f "$work/raw.db"
  timed "$work/raw.out" sqlite3 "$work/raw.db" ".mode csv" ".import $work/export-1000000.csv t"
  read -r raw_million_secs raw_million_kib raw_million_cpu <"$work/time"
  rm -f "$work/raw.db"
}

compare_build() {
  echo "== the 25000-line file imported by $compare/talvenor-import" >&2
  local other=$work/compare-25000.db
  rm -f "$other" "$other-wal" "$other-shm"
  "$compare/talvenor-import" init "$other" >/dev/null
  "$compare/talvenor-import" run "$work/export-25000.csv" --target "$other" --quiet >/dev/null
  sign_new=$(bench/signature.sh "$work/target-25000.db")
  sign_old=$(bench/signature.sh "$other")
}

# A cluster of our own, so that one the tests are using is never stopped.
pg_start() {
  export TALVENOR_PG_DIR=$work/pg
  chmod 755 "$work"
  eval "$(scripts/pg.sh start)"
  pg_started=1
  # The throwaway cluster does not sync its commits; this one must, as a
  # production server does, so that commits cost what they cost there.
  psql -X -q -d "$PGDATABASE" -c "ALTER SYSTEM SET fsync = on" \
    -c "ALTER SYSTEM SET synchronous_commit = on" -c "ALTER SYSTEM SET full_page_writes = on" \
    -c "SELECT pg_reload_conf()" >/dev/null
}

# An empty target schema in the cluster, made directly over its socket.
pg_fresh_target() {
  psql -X -q -d "$PGDATABASE" -c "SET client_min_messages = warning" -c "DROP SCHEMA public CASCADE" \
    -c "CREATE SCHEMA public" >/dev/null
  "$import" init "$TALVENOR_PG_CONNECT" >"$work/init.out" 2>&1 ||
    { cat "$work/init.out" >&2; echo "run.sh: init failed" >&2; exit 70; }
}

pg_direct() {
  echo "== importing 10000 lines into PostgreSQL through psqlODBC" >&2
  import_file 10000 "$TALVENOR_PG_CONNECT" 1
  secs[pg]=$run_secs cpu[pg]=$run_cpu kib[pg]=$run_kib
  stmts[pg]=$(statements "$run_json" "$run_counts") commit[pg]=$(commits "$run_counts")
  cp "$run_json" "$work/pg-10000.json"
  echo "== the same 10000 lines under strace, counting round trips" >&2
  pg_fresh_target
  strace -f -c -e trace=sendto -o "$work/strace.txt" \
    "$import" run "$work/export-10000.csv" --target "$TALVENOR_PG_CONNECT" --quiet >/dev/null
  pg_sends=$(awk '$NF == "sendto" { print $4 }' "$work/strace.txt")
  pg_sign=$(bench/signature.sh --no-keys --psql "-d $PGDATABASE")
  # The server's own share: the time it spent on the import's statements,
  # each logged with its duration, summed.
  echo "== the same 10000 lines with the server's time for each statement logged" >&2
  pg_fresh_target
  local log=$TALVENOR_PG_DIR/server.log from
  psql -X -q -d "$PGDATABASE" -c "ALTER SYSTEM SET log_min_duration_statement = 0" \
    -c "SELECT pg_reload_conf()" >/dev/null
  from=$(($(wc -l <"$log") + 1))
  "$import" run "$work/export-10000.csv" --target "$TALVENOR_PG_CONNECT" --quiet >/dev/null
  psql -X -q -d "$PGDATABASE" -c "ALTER SYSTEM RESET log_min_duration_statement" \
    -c "SELECT pg_reload_conf()" >/dev/null
  pg_server_secs=$(tail -n "+$from" "$log" |
    awk '{ for (i = 1; i < NF; i++) if ($i == "duration:") ms += $(i + 1) } END { printf "%.2f", ms / 1000 }')
}

# Imports the file of $2 lines through the relay adding $1 ms to every round
# trip; sets lat_secs[$1] and lat_trips[$1] (the client's sends that followed
# an answer of the server, as the relay counted them).
declare -A lat_secs lat_trips
pg_through_relay() {
  local ms=$1 n=$2 port="" i
  echo "== importing $n lines into PostgreSQL through the relay, $ms ms added round trip" >&2
  pg_fresh_target
  # Bounded: the relay stops by itself should this script be killed.
  "$relay" --to "$PGHOST/.s.PGSQL.$PGPORT" --delay-ms "$ms" --seconds 1800 \
    --stats "$work/relay-$ms.txt" >"$work/relay.out" 2>"$work/relay.err" &
  relay_pid=$!
  for ((i = 0; i < 100 && ${#port} == 0; i++)); do
    sleep 0.05
    port=$(awk '$1 == "port" { print $2 }' "$work/relay.out")
  done
  [ -n "$port" ] || { cat "$work/relay.err" >&2; echo "run.sh: the relay did not start" >&2; exit 70; }
  local connect
  connect=$(sed "s/Servername=[^;]*;Port=[^;]*/Servername=127.0.0.1;Port=$port/" <<<"$TALVENOR_PG_CONNECT")
  timed "$work/relay-$ms.json" "$import" run "$work/export-$n.csv" --target "$connect" --quiet --json
  kill -TERM "$relay_pid"
  wait "$relay_pid" || true
  relay_pid=''
  local s
  read -r s _ _ <"$work/time"
  lat_secs[$ms]=$s
  lat_trips[$ms]=$(awk '$1 == "round_trips" { print $2 }' "$work/relay-$ms.txt")
  local read_lines
  read_lines=$(jq -r .lines_read "$work/relay-$ms.json")
  [ "$read_lines" = "$n" ] || { echo "run.sh: the import read $read_lines of $n lines" >&2; exit 70; }
}

if ((reference)); then
  echo "== compiling the reference program" >&2
  cc -O2 -o "$work/bench_sqlite" "$reference_dir/bench_sqlite.c" -lsqlite3
fi
if ((sqlite)); then
  sqlite_rounds
  [ -f "$work/export-1000000.csv" ] && sqlite_million
  memory_lines=1000000
  ((quick)) && memory_lines=200000
  echo "== preview of $memory_lines lines" >&2
  timed "$work/preview.out" "$import" preview "$work/export-$memory_lines.csv"
  read -r _ preview_kib _ <"$work/time"
  rm -f "$work/preview.out"
  [ -n "$compare" ] && compare_build
fi
if ((pg)); then
  pg_start
  pg_direct
  for i in "${!latency_ms[@]}"; do
    pg_through_relay "${latency_ms[$i]}" "${latency_lines[$i]}"
  done
fi

# Results.
line() {  # label lines seconds cpu-seconds statements kib commits [÷ reference]
  local st=${5#\~}
  printf '%-24s %8s %8s %8s %8s %11s %9s %8s %9s %6s\n' "$1" "$2" "$3" "$4" \
    "$(calc "int($2 / $3 + 0.5)")" "$5" "$(calc "int($st / $3 + 0.5)")" "$7" \
    "$(calc "int($6 / 102.4 + 0.5) / 10")" "${8:-}"
}
ratio2() { calc "int($1 / ($2 > 0 ? $2 : 0.01) * 100 + 0.5) / 100"; }

failed=0
check() {  # label value comparison limit
  if (($(calc "($2 $3 $4)"))); then
    printf '%-44s %8s  target %s %s  ok\n' "$1" "$2" "$3" "$4"
  else
    printf '%-44s %8s  target %s %s  MISSED\n' "$1" "$2" "$3" "$4"
    failed=1
  fi
}

sqlite_results() {
  echo
  printf '%-24s %8s %8s %8s %8s %11s %9s %8s %9s %6s\n' import lines seconds 'cpu s' lines/s \
    statements stmts/s commits 'peak MiB' '÷ ref'
  local n
  for n in 25000 100000 200000 1000000; do
    [ -n "${secs[$n]:-}" ] || continue
    local by_ref=''
    [ -n "${ref_secs[$n]:-}" ] && by_ref=$(ratio2 "${secs[$n]}" "${ref_secs[$n]}")
    line "SQLite" "$n" "${secs[$n]}" "${cpu[$n]}" "${stmts[$n]}" "${kib[$n]}" "${commit[$n]}" "$by_ref"
  done
  for n in 25000 100000 200000 1000000; do
    [ -n "${ref_secs[$n]:-}" ] || continue
    line "reference program" "$n" "${ref_secs[$n]}" "${ref_cpu[$n]}" "${ref_stmts[$n]:-0}" \
      "${ref_kib[$n]}" 1
  done
  line "sqlite3 shell .import" 100000 "$raw_secs" "$raw_cpu" 100000 "$raw_kib" 1
  if [ -n "${raw_million_secs:-}" ]; then
    line "sqlite3 shell .import" 1000000 "$raw_million_secs" "$raw_million_cpu" 1000000 \
      "$raw_million_kib" 1
  fi
  if [ -n "${secs[pg]:-}" ]; then
    line "PostgreSQL (psqlODBC)" 10000 "${secs[pg]}" "${cpu[pg]}" "${stmts[pg]}" "${kib[pg]}" "${commit[pg]}"
  fi
  echo "(seconds: wall clock, the fastest of the runs; cpu s: processor time of that run, which"
  echo " other work on the machine does not inflate; statements marked ~ are estimated from the"
  echo " rows created and matched; ÷ ref: the import's time over the reference program's)"
}

latency_results() {
  echo
  printf '%-26s %8s %8s %8s %12s %9s\n' 'PostgreSQL, added RTT' lines seconds lines/s 'round trips' \
    'per line'
  if [ -n "${secs[pg]:-}" ]; then
    printf '%-26s %8s %8s %8s %12s %9s\n' 'none (unix socket)' 10000 "${secs[pg]}" \
      "$(calc "int(10000 / ${secs[pg]} + 0.5)")" "$pg_sends" "$(ratio2 "$pg_sends" 10000)"
    printf '%-26s %8s %8s %8s\n' "the server's statements" 10000 "$pg_server_secs" \
      "$(calc "int(10000 / $pg_server_secs + 0.5)")"
  fi
  local i ms n
  for i in "${!latency_ms[@]}"; do
    ms=${latency_ms[$i]} n=${latency_lines[$i]}
    printf '%-26s %8s %8s %8s %12s %9s\n' "$ms ms (relay)" "$n" "${lat_secs[$ms]}" \
      "$(calc "int($n / ${lat_secs[$ms]} + 0.5)")" "${lat_trips[$ms]}" "$(ratio2 "${lat_trips[$ms]}" "$n")"
  done
  echo "(round trips: sendto calls counted by strace without the relay; through the relay, the"
  echo " client's sends that followed an answer of the server, as the relay counted them; the"
  echo " server's statements: the time the server logged for the import's statements, summed,"
  echo " and the lines/s of an import that cost nothing but that)"
}

sqlite_checks() {
  local ratio per_line_25k scaling peak_mib
  ratio=$(calc "${secs[100000]} / ($raw_secs > 0 ? $raw_secs : 0.01)")
  per_line_25k=$(calc "${secs[25000]} / 25000")
  scaling=$(calc "${secs[200000]} / 200000 / $per_line_25k")
  peak_mib=$(calc "${kib[$memory_lines]} / 1024")
  # The same two ratios in processor time, for a loaded machine (not checked).
  echo "in processor time: import / .import $(ratio2 "${cpu[100000]}" "$raw_cpu")," \
    "per-line cost 200000 / 25000 $(ratio2 "${cpu[200000]}" "8 * ${cpu[25000]}")"
  check "import / .import time, 100000 lines" "$(ratio2 "$ratio" 1)" '<=' "$max_ratio"
  if [ -n "${ref_secs[100000]:-}" ]; then
    check "import / reference time, 100000 lines" "$(ratio2 "${secs[100000]}" "${ref_secs[100000]}")" \
      '<=' "$max_reference_ratio"
  fi
  if [ -n "${secs[1000000]:-}" ]; then
    check "import / .import time, 1000000 lines" \
      "$(ratio2 "${secs[1000000]}" "$raw_million_secs")" '<=' "$max_ratio_million"
    if [ -n "${ref_secs[1000000]:-}" ]; then
      check "import / reference time, 1000000 lines" \
        "$(ratio2 "${secs[1000000]}" "${ref_secs[1000000]}")" '<=' "$max_reference_ratio_million"
    fi
    check "per-line cost, 1000000 / 25000 lines" \
      "$(ratio2 "${secs[1000000]} / 1000000" "$per_line_25k")" '<=' "$max_scaling"
  else
    check "per-line cost, 200000 / 25000 lines" "$(ratio2 "$scaling" 1)" '<=' "$max_scaling_quick"
  fi
  check "peak memory (MiB), $memory_lines lines" "$(calc "int($peak_mib * 10 + 0.5) / 10")" '<=' "$max_mib"
  check "preview peak memory (MiB), $memory_lines lines" \
    "$(calc "int($preview_kib / 102.4 + 0.5) / 10")" '<' "$max_preview_mib"
}

pg_checks() {
  if [ -n "${secs[pg]:-}" ]; then
    check "PostgreSQL round trips per data line" "$(ratio2 "$pg_sends" 10000)" '<=' "$max_round_trips"
    check "PostgreSQL lines/s, 10000 lines" "$(calc "int(10000 / ${secs[pg]} + 0.5)")" '>=' \
      "$min_pg_lines_per_second"
    echo "PostgreSQL content signature (keys left out): $pg_sign"
  fi
  local i ms
  for i in "${!latency_ms[@]}"; do
    ms=${latency_ms[$i]}
    ((latency_min[i] > 0)) || continue
    check "PostgreSQL lines/s at $ms ms round trip" \
      "$(calc "int(${latency_lines[$i]} / ${lat_secs[$ms]} + 0.5)")" '>=' "${latency_min[$i]}"
  done
}

((sqlite)) && sqlite_results
((pg)) && latency_results
echo
((sqlite)) && sqlite_checks
((pg)) && pg_checks
if [ -n "$compare" ]; then
  echo "content signature, 25000 lines: $sign_new (this build), $sign_old ($compare)"
  if [ "$sign_new" = "$sign_old" ]; then
    printf '%-44s %8s  ok\n' "same content as $(basename "$compare")" yes
  else
    printf '%-44s %8s  MISSED\n' "same content as $(basename "$compare")" no
    failed=1
  fi
fi
exit $failed
