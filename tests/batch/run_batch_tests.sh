#!/usr/bin/env bash
# Batch files and the environment update file with the real command
# processor: cmd.exe under wine for the Windows program, sh for the Linux one.
#   run_batch_tests.sh linux PROGRAM
#   run_batch_tests.sh win32 PROGRAM.exe WINEPREFIX [WINE-LOADER]
set -u

PLATFORM=$1
PROGRAM=$(readlink -f "$2")
PREFIX=$( [ -n "${3:-}" ] && readlink -f "$3")
WORK=$(mktemp -d /tmp/kel-batch-XXXXXX)
FAILED=0
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

if [ "$PLATFORM" = win32 ]; then
  WINE=${4:-wine}
  cp "$PROGRAM" VetraC32.exe  # the current directory is on cmd.exe's search path
  # cmd FILE ARGS...: the batch file run by wine's cmd.exe, its output with
  # the line ends of Linux.
  cmd() { WINEPREFIX=$PREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" "$WINE" cmd /c "$@" 2>&1 | tr -d '\r'; }
else
  # KEL_EMULATOR runs a program built for another machine (qemu-aarch64 ...).
  printf '#!/bin/sh\nexec %s "%s" "$@"\n' "${KEL_EMULATOR:-}" "$PROGRAM" > VetraC32
  chmod +x VetraC32
  export PATH="$WORK:$PATH"
fi

pass() { echo "pass $1 [$PLATFORM]"; }
# expect NAME EXPECTED ACTUAL
expect() {
  if [ "$2" = "$3" ]; then
    pass "$1"
  else
    echo "FAIL $1 [$PLATFORM]"
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed 's/^/    /'
    FAILED=1
  fi
}

# --- a batch file that is also a Kel program: the Kel code between the
#     markers runs with the batch file's arguments, and the batch lines after
#     ":VETRA_EXIT" run too ---
printf '%s\r\n' '@echo off' 'VetraC32 %0.bat %1 %2' 'GOTO VETRA_EXIT' \
  'main(argc, argv) { printf("kel: %d [%s] [%s]\n", argc, argv[1], argv[2]); }' \
  ':VETRA_EXIT' 'echo batch goes on' 'GOTO VETRA_EXIT' 'never = 1;' ':VETRA_EXIT' > both.bat
if [ "$PLATFORM" = win32 ]; then
  # the arguments written in a batch file: a quote passed to wine on its
  # command line would arrive escaped
  printf '%s\r\n' '@echo off' 'call both.bat one "two words"' > caller.bat
  expect batch-runs-kel-and-batch "kel: 3 [one] [two words]
batch goes on" "$(cmd caller.bat)"
else
  expect batch-runs-kel "kel: 3 [one] [two words]" "$(VetraC32 both.bat one 'two words')"
fi

# --- VETRA_ESET: the caller sees exactly the script's changes ---
cat > changes.kel <<'KEL'
KBT_NEW = "a & b | c < d > e ^ f % g \" h ' i";
KBT_NUM = 5;
undefine(KBT_OLD);
KBT_CHANGED = "now";
KEL
if [ "$PLATFORM" = win32 ]; then
  printf '%s\r\n' '@echo off' 'set KBT_OLD=x' 'set KBT_CHANGED=before' 'set KBT_UNTOUCHED=y' \
    'set VETRA_ESET=update.cmd' 'VetraC32 changes.kel' 'set VETRA_ESET=' 'call update.cmd' 'set KBT_' > round.bat
  actual=$(cmd round.bat)
else
  actual=$(KBT_OLD=x KBT_CHANGED=before KBT_UNTOUCHED=y sh -c \
    'VETRA_ESET=update.sh VetraC32 changes.kel && . ./update.sh && env | grep "^KBT_" | sort')
fi
expect update-file-round-trip "KBT_CHANGED=now
KBT_NEW=a & b | c < d > e ^ f % g \" h ' i
KBT_NUM=5
KBT_UNTOUCHED=y" "$actual"

exit $FAILED
