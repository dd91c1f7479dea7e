#!/bin/sh
# Runs the windowed program's tests under wine on a virtual X display: each
# script in tests/windowed/scripts is started by kel_window_driver, which
# types the script's keys into the console window.
#   run_windowed_tests.sh WINE PREFIX BUILD_DIR [SCRIPT...]
# A script states what it expects in comments:
#   // keys: TEXT      what the driver types (kel_window_driver.c lists the forms)
#   // exit: N         the exit code (0 when not given)
#   // expect: LINE    the lines the script writes to result.txt, in order
#   // nobox: LINE     a line shown as a message box (VETRA_NOBOX collects them)
#   // window: LINE    the lines {COPYALL} copied from the window, in order
#   // title: LINE     the titles {TITLE} saw, in order
set -u
wine=$1
prefix=$(cd "$2" && pwd) || exit 1
build=$(cd "$3" && pwd) || exit 1
shift 3
here=$(cd "$(dirname "$0")" && pwd)
[ $# -gt 0 ] || set -- "$here"/scripts/*.kel
export WINEPREFIX="$prefix" WINEDEBUG=-all

windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

# One X server for all the tests.
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$displayfile" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$displayfile")"
rm -f "$displayfile"
trap 'kill $xvfb 2>/dev/null' EXIT

passed=0 failed=0
for script in "$@"; do
  name=$(basename "$script")
  work=$(mktemp -d)
  cp "$script" "$work/"
  keys=$(sed -n 's|^// keys: ||p' "$script" | head -1)
  exit_expected=$(sed -n 's|^// exit: ||p' "$script" | head -1)
  sed -n 's|^.*// expect: ||p' "$script" > "$work/expected.txt"
  sed -n 's|^.*// window: ||p' "$script" > "$work/window-expected.txt"
  sed -n 's|^.*// title: ||p' "$script" > "$work/title-expected.txt"
  (cd "$work" && VETRA_NOBOX=nobox.txt "$wine" "$build/kel_window_driver.exe" \
     "$(windows_path "$build/VetraW32.exe")" "$name" "$keys" > driver.txt 2>/dev/null)
  touch "$work/result.txt" "$work/nobox.txt" "$work/window.txt" "$work/title.txt"
  problem=""
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
  sed -n 's|^.*// nobox: ||p' "$script" | while IFS= read -r line; do
    tr -d '\r' < "$work/nobox.txt" | grep -qxF -- "$line" || echo "no message box \"$line\""
  done > "$work/missing.txt"
  [ -s "$work/missing.txt" ] && problem="$problem; $(cat "$work/missing.txt")"
  if [ -z "$problem" ]; then
    echo "pass $name"
    passed=$((passed + 1))
    rm -rf "$work"
  else
    echo "FAIL $name: $problem (kept in $work)"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed (windowed)"
[ "$failed" -eq 0 ]
