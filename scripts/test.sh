#!/usr/bin/env bash
# Sets everything up and runs every test: a plain build (warnings as errors) and
# a build under AddressSanitizer and UndefinedBehaviorSanitizer, both against a
# real SQLite and a throwaway PostgreSQL reached through psqlODBC.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

if [ -x scripts/pg.sh ]; then
  eval "$(scripts/pg.sh start)"
  trap 'scripts/pg.sh stop >/dev/null 2>&1 || true' EXIT
fi

export QT_QPA_PLATFORM=offscreen
presets=${TALVENOR_TEST_PRESETS:-"ci dev"}
for preset in $presets; do
  echo "== $preset build" >&2
  scripts/build.sh "$preset"
  echo "== $preset tests" >&2
  ctest --preset "$preset" -j2
done

# The fuzz targets (clang), each for a bounded time from its seed corpus;
# TALVENOR_FUZZ_SECONDS sets the time per target.
echo "== fuzzing" >&2
fuzz/run.sh "${TALVENOR_FUZZ_SECONDS:-12}"

# The Debian package, installed on this machine, used and removed again. It
# needs root (CI runs as root); TALVENOR_TEST_PACKAGE=0 leaves it out.
if [ "${TALVENOR_TEST_PACKAGE:-1}" != 0 ]; then
  echo "== package" >&2
  deb=$(scripts/package.sh)
  tests/package/check_package.sh "$deb" .
fi
