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
for f in share/man/man1/talvenor-import.1.gz share/bash-completion/completions/talvenor-import \
  share/doc/talvenor/copyright; do
  [ -f "$work/prefix/$f" ] || fail "no $f"
done

# Installed, the catalogue is the operator's (XDG_CONFIG_HOME, else
# ~/.config); one beside the program, or --folder, still wins.
export HOME=$work/home XDG_CONFIG_HOME=
"$bin" catalogue add Mine mine.db >/dev/null || fail "catalogue add"
[ -f "$HOME/.config/talvenor/multi.mdb" ] || fail "the catalogue is not in ~/.config/talvenor"
XDG_CONFIG_HOME=$work/xdg "$bin" catalogue add Other other.db >/dev/null || fail "add to XDG"
[ "$(XDG_CONFIG_HOME=$work/xdg "$bin" catalogue list --ids)" = Other ] || fail "XDG_CONFIG_HOME"
"$bin" catalogue add Here here.db --folder "$work/mine" >/dev/null || fail "add --folder"
[ -f "$work/mine/multi.mdb" ] || fail "--folder was not used"
cp "$work/mine/multi.mdb" "$work/prefix/bin/"
[ "$("$bin" catalogue list --ids)" = Here ] || fail "a catalogue beside the program is not used"
echo "installed_programs: ok"
