#!/usr/bin/env bash
# Installs the command line into a temporary prefix and uses it from a folder
# of its own, as a user would: the installed program finds the decoding
# library, and init and run take their paths from the current folder.
#   installed_programs.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "installed_programs: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" --component cli >/dev/null
bin=$work/prefix/bin/talvenor-import
[ -x "$bin" ] || fail "no program at $bin"
[ -f "$work/prefix/lib/talvenor/libtalvenor-decode.so" ] || fail "no decoding library"
[ -f "$work/prefix/share/doc/talvenor/README.md" ] || fail "no README"

# Encoding needs the library; the installed program must find it by itself.
encoded=$("$bin" encode "ODBC;DSN=Sales") || fail "encode failed: the library was not found"
[ "$(echo "$encoded" | wc -l)" -eq 2 ] || fail "encode printed: $encoded"

mkdir "$work/mine"
cd "$work/mine"
cp "$source/examples/sample.csv" export.csv
"$bin" init target.db >/dev/null || fail "init target.db failed"
"$bin" run export.csv --target target.db --quiet >/dev/null || fail "run failed"
[ -f target.db ] || fail "target.db is not in the current folder"
[ ! -e "$work/prefix/bin/target.db" ] || fail "target.db went to the program's folder"
"$bin" --version | grep -q '^talvenor-import ' || fail "--version"
echo "installed_programs: ok"
