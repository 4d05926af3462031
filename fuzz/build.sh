#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (-fsanitize=fuzzer,address,undefined)
# into fuzz/build/ (or the folder given). Each target is compiled straight from
# the sources it needs; the main build does not depend on clang.
#
# Usage: fuzz/build.sh [OUT_DIR]
# clang 14 cannot compile libstdc++ 12's <expected>: fuzz/compat supplies a
# small std::expected in its place (it adds nothing where the library has one).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-fuzz/build}
mkdir -p "$out"
cxx=${CXX_FUZZ:-clang++}
cc=${CC_FUZZ:-clang}
flags=(-g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
  -fno-omit-frame-pointer)
cxxflags=("${flags[@]}" -std=c++2b -I fuzz/compat -I . -Wall -Wextra -Wno-unused-parameter)

# target: its sources (the fuzzer's own file first)
declare -A sources=(
  [export_reader]="fuzz/export_reader_fuzz.cpp import/export_reader.cpp import/split_export_line.cpp text/utf8.cpp text/string_utils.cpp"
  [export_check]="fuzz/export_check_fuzz.cpp import/export_check.cpp import/export_reader.cpp import/split_export_line.cpp text/utf8.cpp text/string_utils.cpp"
  [date_text]="fuzz/date_text_fuzz.cpp records/date_text.cpp records/date_time.cpp"
  [filter_name]="fuzz/filter_name_fuzz.cpp text/name_filter.cpp text/string_utils.cpp text/utf8.cpp"
  [format_phone]="fuzz/format_phone_fuzz.cpp text/phone_format.cpp text/utf8.cpp"
  [do_path]="fuzz/do_path_fuzz.cpp app/do_path.cpp app/decode_library.cpp app/app_folder.cpp records/connection_text.cpp text/utf8.cpp records/value.cpp records/date_time.cpp"
  [saved_selection]="fuzz/saved_selection_fuzz.cpp app/saved_selection.cpp text/utf8.cpp records/value.cpp records/date_time.cpp"
  [jet_sql]="fuzz/jet_sql_fuzz.cpp records/sqlite/jet_sql.cpp records/sqlite/jet_shape_cache.cpp records/sql_quote.cpp records/date_time.cpp records/date_text.cpp"
)

for target in "${!sources[@]}"; do
  # shellcheck disable=SC2206
  files=(${sources[$target]})
  objects=()
  if [ "$target" = do_path ]; then
    "$cc" -g -O1 -fsanitize=fuzzer-no-link,address,undefined -c decode/decode.c -o "$out/decode.o"
    objects+=("$out/decode.o")
  fi
  echo "fuzz: building $target" >&2
  "$cxx" "${cxxflags[@]}" "${files[@]}" "${objects[@]}" -ldl -o "$out/${target}_fuzz"
done
