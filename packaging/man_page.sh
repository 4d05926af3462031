#!/usr/bin/env bash
# Writes the manual page of a program from its own --help and --version with
# help2man, gzip'd. A program with sub-commands gets a section that holds each
# sub-command's --help, as the program prints it.
#   man_page.sh HELP2MAN PROGRAM SUMMARY OUTPUT.1.gz
set -euo pipefail
help2man=$1
program=$2
summary=$3
output=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Text as roff prints it unchanged: backslashes and minus signs escaped, and a
# line that begins with a control character kept as text.
roff_text() {
  sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
}

# The sub-commands are the names listed under the help's "...commands:" heading.
mapfile -t commands < <("$program" --help | awk '
  tolower($0) ~ /commands:$/ { listing = 1; next }
  listing && /^  [a-z]/ { print $1; next }
  listing && !/^ / { listing = 0 }')

include=()
if ((${#commands[@]})); then
  include=(--include="$work/include")
  {
    echo "[SUB-COMMANDS]"
    for command in "${commands[@]}"; do
      echo ".SS \"$command\""
      echo ".nf"
      "$program" "$command" --help | roff_text
      echo ".fi"
    done
  } >"$work/include"
fi

mkdir -p "$(dirname "$output")"
"$help2man" --no-info --name="$summary" "${include[@]}" \
  --output="$work/page.1" "$program"
gzip -9n <"$work/page.1" >"$output"
