#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a bounded time, starting from its
# seed corpus in fuzz/corpus/<target>/ (new inputs go to a scratch folder; the
# committed corpus is not changed). Prints the executions of each target and
# a closing "N passed, N failed" line; a crash keeps its input under the
# scratch folder, prints the command that replays it, and fails the run.
#
# Usage: fuzz/run.sh [SECONDS]      seconds per target (default 12; nine
#                                   targets take about two minutes)
#        FUZZ_KEEP=1 fuzz/run.sh    keep the scratch folder
# To fuzz longer: fuzz/run.sh 3600, or run a target by hand:
#   build/fuzz/fuzzers/export_reader_fuzz -max_total_time=3600 NEW_DIR fuzz/corpus/export_reader
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-12}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
bin=build/fuzz/fuzzers

work=$(mktemp -d "${TMPDIR:-/tmp}/talvenor-fuzz.XXXXXX")
[ "${FUZZ_KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
passed=0 failed=0 total_runs=0
for target in export_reader export_check date_text filter_name format_phone utf8 do_path saved_selection jet_sql; do
  mkdir -p "$work/$target/new"
  log=$work/$target/log
  status=0
  "$bin/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$work/$target/" \
    "$work/$target/new" "fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  runs=$(awk '/stat::number_of_executed_units/ { print $2 }' "$log" | tail -n 1)
  runs=${runs:-0}
  total_runs=$((total_runs + runs))
  if [ "$status" = 0 ]; then
    passed=$((passed + 1))
    printf 'ok   %-16s %3s s  %9s runs  no crash\n' "$target" "$seconds" "$runs"
  else
    failed=$((failed + 1))
    printf 'FAIL %-16s exit %s after %s runs\n' "$target" "$status" "$runs"
    grep -m 5 -E 'ERROR|SUMMARY|Test unit written' "$log" | sed 's/^/     /' || true
    for crash in "$work/$target"/crash-* "$work/$target"/timeout-* "$work/$target"/oom-*; do
      [ -e "$crash" ] && echo "     replay: $bin/${target}_fuzz $crash"
    done
    FUZZ_KEEP=1
    trap - EXIT
  fi
done
echo "fuzz: $total_runs runs in all"
echo "fuzz: $passed passed, $failed failed"
((failed == 0))
