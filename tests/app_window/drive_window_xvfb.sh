#!/usr/bin/env bash
# Drives the real talvenor window on a virtual X screen (Xvfb) with xdotool,
# as an operator would: starts it with the entry Alpha selected, changes the
# drop-down to Beta one way or another (the wheel, the Down key, typing the
# id and Return, the list), types the sample's path, presses the import
# button, closes the window, and checks that the rows went into Beta and none
# into Alpha.
#
#   tests/app_window/drive_window_xvfb.sh BUILD_DIR
#
# Needs the Debian packages xvfb, xdotool and sqlite3. Exits 0 when every way
# imported into the entry shown.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/ci}
sample=$PWD/examples/sample.csv

folder=$(mktemp -d "${TMPDIR:-/tmp}/talvenor-xvfb.XXXXXX")
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$folder"' EXIT
export DISPLAY=$display
unset QT_QPA_PLATFORM
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# The window takes its catalogue and saved selection from its own folder.
cp "$build/bin/talvenor" "$folder/"

positions() { sqlite3 "$folder/$1.db" "SELECT COUNT(*) FROM Positions"; }

# Control centres in the window at 96 DPI (the twips layout at 15 a pixel).
combo_x=180 combo_y=20 arrow_x=372 text1_x=140 text1_y=52 import_x=284 import_y=84
close_x=340 close_y=272

failures=0
for way in wheel down-key typed list; do
  rm -f "$folder"/*.db "$folder/multi.mdb" "$folder/talvenor.dat"
  for id in Alpha Beta; do
    "$build/bin/talvenor-import" init "$folder/$id.db" >/dev/null
    "$build/bin/talvenor-import" catalogue add "$id" "$id.db" "" --folder "$folder" >/dev/null
  done

  "$folder/talvenor" Alpha 2>/dev/null &
  app=$!
  win=
  for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --name "Talvenor Import Utility" 2>/dev/null | head -1) || true
    [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || { echo "FAIL $way: the window did not appear"; kill "$app"; exit 1; }
  sleep 0.5
  eval "$(xdotool getwindowgeometry --shell "$win")"  # X, Y of the window
  at() { xdotool mousemove $((X + $1)) $((Y + $2)); }

  case $way in
    wheel) at $combo_x $combo_y; sleep 0.2; xdotool click 5 ;;
    down-key) at $combo_x $combo_y; xdotool click 1; sleep 0.2; xdotool key Escape Down ;;
    typed)
      at $combo_x $combo_y; xdotool click 1; sleep 0.2
      xdotool key ctrl+a; xdotool type --delay 20 "Beta"; xdotool key Return ;;
    list)
      at $arrow_x $combo_y; xdotool click 1; sleep 0.5
      # The list opens below the box: Alpha, then Beta.
      xdotool key Down Return ;;
  esac
  sleep 0.3
  at $text1_x $text1_y; xdotool click 1; xdotool key ctrl+a
  xdotool type --delay 5 "$sample"
  at $import_x $import_y; xdotool click 1
  # The run ends with the button's idle caption; the target tells when.
  for _ in $(seq 100); do
    [ "$(sqlite3 "$folder/Beta.db" "SELECT COUNT(*) FROM Rollup_Names" 2>/dev/null)" = 1 ] &&
      [ "$(positions Beta 2>/dev/null)" -gt 0 ] 2>/dev/null && break
    [ "$(sqlite3 "$folder/Alpha.db" "SELECT COUNT(*) FROM Rollup_Names" 2>/dev/null)" = 1 ] && break
    sleep 0.1
  done
  sleep 1
  at $close_x $close_y; xdotool click 1
  for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true

  alpha=$(positions Alpha) beta=$(positions Beta)
  if [ "$alpha" = 0 ] && [ "$beta" -gt 0 ]; then
    echo "ok   $way: Beta $beta positions, Alpha none"
  else
    echo "FAIL $way: Beta $beta positions, Alpha $alpha"
    failures=$((failures + 1))
  fi
done
exit $((failures > 0))
