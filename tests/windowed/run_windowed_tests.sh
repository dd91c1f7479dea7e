#!/bin/sh
# Runs the windowed program's tests under wine on a virtual X display: each
# script in tests/windowed/scripts is started by kel_window_driver, which
# types the script's keys into the console window.
#   run_windowed_tests.sh WINE WINESERVER PREFIX BUILD_DIR [SCRIPT...]
# A script states what it expects in comments:
#   // keys: TEXT      what the driver types (kel_window_driver.c lists the forms)
#   // command: TEXT   the program's command line (the script's name when not given)
#   // exit: N         the exit code (0 when not given)
#   // expect: LINE    the lines the script writes to result.txt, in order
#   // nobox: LINE     a line shown as a message box (VETRA_NOBOX collects them)
#   // box: TEXT       part of a message box the driver read and accepted (the
#                      script runs without VETRA_NOBOX then)
#   // window: LINE    the lines {COPYALL} copied from the window, in order
#   // title: LINE     the titles {TITLE} saw, in order
#   // registry: NAME=VALUE  a setting in the registry before the run (the key
#                      is emptied before each test)
#   // saved: NAME=VALUE     a setting the run must leave in the registry
#   // pixel: X,Y RRGGBB      the colour at X,Y of the screen {SHOT} took
# Screenshots are kept in BUILD_DIR/screenshots for people to look at.
set -u
wine=$1 wineserver=$2
prefix=$(cd "$3" && pwd) || exit 1
build=$(cd "$4" && pwd) || exit 1
shift 4
here=$(cd "$(dirname "$0")" && pwd)
[ $# -gt 0 ] || set -- "$here"/scripts/*.kel
export WINEPREFIX="$prefix" WINEDEBUG=-all

windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
settings_key='HKLM\SOFTWARE\Orlimo\VetraW32'
screenshots=$build/screenshots
mkdir -p "$screenshots"

# One X server for all the tests.
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$displayfile" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$displayfile")"
rm -f "$displayfile"
# The prefix's wine processes start again on this display: a desktop that an
# earlier test started without one would refuse every window.
"$wineserver" -k 2>/dev/null
trap '"$wineserver" -k 2>/dev/null; kill $xvfb 2>/dev/null' EXIT

passed=0 failed=0
for script in "$@"; do
  name=$(basename "$script")
  work=$(mktemp -d)
  cp "$script" "$work/"
  keys=$(sed -n 's|^// keys: ||p' "$script" | head -1)
  exit_expected=$(sed -n 's|^// exit: ||p' "$script" | head -1)
  command=$(sed -n 's|^// command: ||p' "$script" | head -1)
  sed -n 's|^.*// expect: ||p' "$script" > "$work/expected.txt"
  sed -n 's|^.*// window: ||p' "$script" > "$work/window-expected.txt"
  sed -n 's|^.*// title: ||p' "$script" > "$work/title-expected.txt"
  sed -n 's|^.*// box: ||p' "$script" > "$work/boxes-expected.txt"
  nobox=nobox.txt
  [ -s "$work/boxes-expected.txt" ] && nobox=
  "$wine" reg delete "$settings_key" /f > /dev/null 2>&1
  sed -n 's|^// registry: ||p' "$script" | while IFS= read -r setting; do
    "$wine" reg add "$settings_key" /v "${setting%%=*}" /d "${setting#*=}" /f > /dev/null 2>&1
  done
  (cd "$work" && VETRA_NOBOX=$nobox "$wine" "$build/kel_window_driver.exe" \
     "$(windows_path "$build/VetraW32.exe")" "${command:-$name}" "$keys" > driver.txt 2>/dev/null) &
  driver=$!
  while kill -0 $driver 2>/dev/null; do
    if [ -f "$work/shot.request" ]; then
      xwd -root -silent | convert xwd:- "$screenshots/${name%.kel}.png"
      rm -f "$work/shot.request"
      touch "$work/shot.done"
    fi
    sleep 0.1
  done
  wait $driver
  touch "$work/result.txt" "$work/nobox.txt" "$work/window.txt" "$work/title.txt" "$work/boxes.txt"
  problem=""
  : > "$work/missing.txt"
  got_exit=$(sed -n 's/^exit //p' "$work/driver.txt" | tr -d '\r')
  [ "$got_exit" = "${exit_expected:-0}" ] || problem="exit $got_exit, expected ${exit_expected:-0}"
  if ! tr -d '\r' < "$work/result.txt" | cmp -s - "$work/expected.txt"; then
    problem="$problem; result.txt differs:
$(tr -d '\r' < "$work/result.txt" | diff "$work/expected.txt" - | sed 's/^/    /')"
  fi
  for kind in window title; do
    [ -s "$work/$kind-expected.txt" ] || continue
    if ! tr -d '\r' < "$work/$kind.txt" | sed 's/ *$//' | cmp -s - "$work/$kind-expected.txt"; then
      problem="$problem; $kind.txt differs:
$(tr -d '\r' < "$work/$kind.txt" | sed 's/ *$//' | diff "$work/$kind-expected.txt" - | sed 's/^/    /')"
    fi
  done
  sed -n 's|^// saved: ||p' "$script" | while IFS= read -r setting; do
    got=$("$wine" reg query "$settings_key" /v "${setting%%=*}" 2>/dev/null | tr -d '\r' |
          sed -n "s/^ *${setting%%=*} *REG_SZ *//p")
    [ "$got" = "${setting#*=}" ] || echo "setting ${setting%%=*} is \"$got\", expected \"${setting#*=}\""
  done >> "$work/missing.txt"
  sed -n 's|^// pixel: ||p' "$script" | while read -r at colour; do
    got=$(convert "$screenshots/${name%.kel}.png" -format "%[hex:p{$at}]" info: 2>/dev/null)
    [ "$got" = "$colour" ] || echo "pixel $at is $got, expected $colour"
  done >> "$work/missing.txt"
  sed -n 's|^.*// box: ||p' "$script" | while IFS= read -r line; do
    tr -d '\r' < "$work/boxes.txt" | grep -qF -- "$line" || echo "no message box with \"$line\""
  done >> "$work/missing.txt"
  sed -n 's|^.*// nobox: ||p' "$script" | while IFS= read -r line; do
    tr -d '\r' < "$work/nobox.txt" | grep -qxF -- "$line" || echo "no message box \"$line\""
  done >> "$work/missing.txt"
  [ -s "$work/missing.txt" ] && problem="$problem; $(cat "$work/missing.txt")"
  if [ -z "$problem" ]; then
    echo "pass $name"
    passed=$((passed + 1))
    rm -rf "$work"
  else
    printf 'FAIL %s: %s (kept in %s)\n' "$name" "$problem" "$work"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed (windowed)"
[ "$failed" -eq 0 ]
