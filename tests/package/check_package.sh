#!/usr/bin/env bash
# Installs the Debian package on this machine as an administrator would, uses
# the installed programs from a folder of their own (as root and as an
# operator account), checks the manual pages, completion, menu entry and
# lintian's verdict, removes the package and checks that nothing it installed
# is left. Needs root (CI runs as root on a fresh machine).
#   check_package.sh PACKAGE.deb SOURCE_DIR
set -euo pipefail
deb=$(realpath "$1")
source=$(realpath "$2")
work=$(mktemp -d)
operator=talvenor-check-$$
cleanup() {
  cd /
  if getent passwd "$operator" >/dev/null; then userdel -r "$operator" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "check_package: $*" >&2
  exit 1
}
[ "$(id -u)" -eq 0 ] || fail "needs root to install the package"

echo "== lintian" >&2
# Errors fail the check; warnings are shown.
lintian --tag-display-limit 0 "$deb" 2>/dev/null | tee "$work/lintian" >&2 || true
! grep -q '^E: ' "$work/lintian" || fail "lintian reports errors"

# Whether dpkg is set to leave PATH out (path-exclude without a path-include
# that takes it back, as slim container images do for manual pages).
dpkg_leaves_out() {
  local rule pattern excluded=1
  while read -r rule pattern; do
    # shellcheck disable=SC2053
    [[ $1 == $pattern ]] || continue
    [ "$rule" = path-exclude ] && excluded=0
    [ "$rule" = path-include ] && excluded=1
  done < <(cat /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/* 2>/dev/null | grep -E '^path-(ex|in)clude')
  return $excluded
}

echo "== install" >&2
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >&2
dpkg -L talvenor | sort >"$work/files"
for f in /usr/bin/talvenor-import /usr/bin/talvenor /usr/lib/talvenor/libtalvenor-decode.so \
  /usr/share/doc/talvenor/copyright /usr/share/doc/talvenor/README.md \
  /usr/share/applications/talvenor.desktop /usr/share/icons/hicolor/48x48/apps/talvenor.png \
  /usr/share/bash-completion/completions/talvenor-import; do
  grep -qx "$f" "$work/files" || fail "the package does not install $f"
  [ -e "$f" ] || dpkg_leaves_out "$f" || fail "$f is missing after the installation"
done
desktop-file-validate /usr/share/applications/talvenor.desktop || fail "desktop entry"
if dpkg_leaves_out /usr/share/man/man1/talvenor-import.1.gz; then
  echo "check_package: dpkg is set to leave out manual pages; not checked" >&2
else
  for page in talvenor-import talvenor; do
    man -w "$page" >/dev/null || fail "man -w $page finds no page"
  done
  # The sub-commands' help is in the page.
  man talvenor-import 2>/dev/null | grep -q -- '--rejects FILE' || fail "no run options in the page"
fi

echo "== use" >&2
# The operator account below reads the export file here too.
chmod 755 "$work"
mkdir "$work/desk"
cp "$source/examples/sample.csv" "$work/desk/export.csv"
cd "$work/desk"
talvenor-import --version | grep -q '^talvenor-import ' || fail "--version"
talvenor-import init t.db >/dev/null || fail "init t.db"
talvenor-import run export.csv --target t.db --quiet >/dev/null || fail "run of the sample"
[ "$(sqlite3 t.db 'SELECT COUNT(*) FROM Positions')" -gt 0 ] || fail "run stored no position"
talvenor --help | grep -q '^Usage: talvenor' || fail "talvenor --help"
talvenor-import encode "ODBC;DSN=Sales" >/dev/null || fail "the decoding library is not found"

# An operator's catalogue goes to the operator's own folder, made owner-only.
useradd -m "$operator"
as_operator() { runuser -u "$operator" -- env -u XDG_CONFIG_HOME HOME="$home" "$@"; }
home=$(getent passwd "$operator" | cut -d: -f6)
as_operator talvenor-import catalogue add Desk "$home/desk.db" >/dev/null || fail "catalogue add"
[ -f "$home/.config/talvenor/multi.mdb" ] || fail "no catalogue in ~/.config/talvenor"
[ "$(stat -c %a "$home/.config/talvenor")" = 700 ] || fail "$home/.config/talvenor is not 0700"
as_operator talvenor-import init "$home/desk.db" >/dev/null || fail "init as the operator"
as_operator talvenor-import run "$work/desk/export.csv" --database Desk --quiet >/dev/null ||
  fail "run --database as the operator"
[ "$(as_operator talvenor-import catalogue list --ids)" = Desk ] || fail "catalogue list --ids"
# Completion offers the commands and the operator's catalogue ids.
completion() {
  as_operator bash -c 'source /usr/share/bash-completion/bash_completion
    source /usr/share/bash-completion/completions/talvenor-import
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _talvenor_import; printf "%s\n" "${COMPREPLY[@]}"' completion "$@"
}
completion talvenor-import r | grep -qx run || fail "completion of the commands"
completion talvenor-import run --database "" | grep -qx Desk || fail "completion of the ids"
completion talvenor-import run --re | grep -qx -- --rejects || fail "completion of the options"
[ ! -e /usr/bin/multi.mdb ] || fail "a catalogue was written beside the installed program"

echo "== remove" >&2
cd /
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq talvenor >&2
while read -r f; do
  # Folders the package shares with others (/usr/bin, ...) stay.
  [ -d "$f" ] && [ ! -L "$f" ] && continue
  [ ! -e "$f" ] && [ ! -L "$f" ] || fail "$f is left after the removal"
done <"$work/files"
[ ! -d /usr/lib/talvenor ] && [ ! -d /usr/share/doc/talvenor ] || fail "the package's folders are left"
echo "check_package: ok"
