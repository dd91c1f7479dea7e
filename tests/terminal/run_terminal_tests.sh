#!/usr/bin/env bash
# Terminal tests of the console program: keys, Ctrl+C, the screen functions
# and suspend, run in a real terminal (a tmux pane) natively or under wine.
#   run_terminal_tests.sh linux PROGRAM
#   run_terminal_tests.sh win32 PROGRAM.exe WINEPREFIX [WINE-LOADER]
set -u

PLATFORM=$1
PROGRAM=$(readlink -f "$2")
SOCKET="kel-terminal-$$"
WORK=$(mktemp -d /tmp/kel-terminal-XXXXXX)
FAILED=0

if [ "$PLATFORM" = win32 ]; then
  PREFIX=$(readlink -f "$3")
  WINE=${4:-wine}
  RUN="env WINEPREFIX=$PREFIX WINEDEBUG=-all WINEDLLOVERRIDES=mscoree=\\;mshtml= $WINE $PROGRAM"
  PATIENCE=20
else
  # KEL_EMULATOR runs a program built for another machine (qemu-aarch64 ...).
  RUN="${KEL_EMULATOR:+$KEL_EMULATOR }$PROGRAM"
  PATIENCE=${KEL_EMULATOR:+20}
  PATIENCE=${PATIENCE:-5}
fi

tmx() { tmux -L "$SOCKET" "$@"; }
cleanup() { tmx kill-server >/dev/null 2>&1; rm -rf "$WORK"; }
trap cleanup EXIT
# A session of its own keeps the tmux server up between cases: killing the
# last session makes the server exit, and a case started at that moment
# meets a server on its way out ("server exited unexpectedly").
tmx new-session -d -s keep -x 80 -y 24 "sleep 100000"

# start SCRIPT-FILE: runs the program on the script in a fresh 80x24 pane.
start() {
  tmx kill-session -t case >/dev/null 2>&1
  tmx new-session -d -s case -x 80 -y 24 "cd $WORK; $RUN $1; echo EXIT=\$?; sleep 120"
}
screen() { tmx capture-pane -t case -p; }
# wait_for TEXT: until the pane shows TEXT (fails after the patience runs out).
wait_for() {
  local deadline=$((SECONDS + PATIENCE))
  while [ $SECONDS -le $deadline ]; do
    screen | grep -qF -- "$1" && return 0
    sleep 0.1
  done
  return 1
}
pass() { echo "pass $1 [$PLATFORM]"; }
fail() {
  echo "FAIL $1 [$PLATFORM]: $2"
  screen | sed 's/^/    | /'
  FAILED=1
}
check() {  # check NAME TEXT: the pane shows TEXT
  if wait_for "$2"; then pass "$1"; else fail "$1" "expected \"$2\""; fi
}
script() { cat > "$WORK/$1"; }

# --- Ctrl+C during a long loop prints ^C and ends with exit code 0 ---
script loop.kel <<'KEL'
printf("looping\n");
while (1) ;
KEL
start loop.kel
if wait_for looping; then
  tmx send-keys -t case C-c
  check break-ends-run "EXIT=0"
  if [ "$(screen | grep -c '^^C')" -ge 1 ]; then pass break-prints-caret-c; else fail break-prints-caret-c "no ^C line"; fi
else
  fail break-ends-run "the script did not start"
fi

# --- Ctrl+C also stops a counting loop with an empty body in a function ---
script count.kel <<'KEL'
main() {
  printf("counting\n");
  for (i = 0; ; i++) {}
}
KEL
start count.kel
if wait_for counting; then
  tmx send-keys -t case C-c
  check break-ends-empty-loop "EXIT=0"
else
  fail break-ends-empty-loop "the script did not start"
fi

# --- Ctrl+C stops a long computation of integer functions ---
script integers.kel <<'KEL'
fib(n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }
main() {
  printf("computing\n");
  printf("%d\n", fib(60));
}
KEL
start integers.kel
if wait_for computing; then
  sleep 0.5
  tmx send-keys -t case C-c
  check break-ends-integer-functions "EXIT=0"
else
  fail break-ends-integer-functions "the script did not start"
fi

# --- getch without echo, getche with echo, kbhit sees a waiting key ---
script keys.kel <<'KEL'
printf("ready\n");
k = getch();
printf("[%c]\n", k);
e = getche();
printf("[%c]\n", e);
while (!kbhit()) suspend(10);
printf("hit %c\n", getch());
printf("end\n");
KEL
start keys.kel
if wait_for ready; then
  sleep 0.5  # getch enters key mode after the line is out; a key typed before would echo
  tmx send-keys -t case q
  check getch-returns-key "[q]"
  if screen | grep -q '^q'; then fail getch-no-echo "the key was echoed"; else pass getch-no-echo; fi
  sleep 0.3
  tmx send-keys -t case w
  check getche-echoes "w[w]"
  sleep 0.3
  tmx send-keys -t case z
  check kbhit-sees-key "hit z"
else
  fail getch-returns-key "the script did not start"
fi

# --- ScreenSize reports the buffer; ScreenCursor moves and clamps ---
script screen.kel <<'KEL'
s = ScreenSize();
printf("size %d %d\n", s.col, s.row);
printf("row");
c = ScreenCursor(5);
printf("X\n");
printf("moved %d\n", c.col);
last = ScreenCursor(-1, -1);
ScreenCursor(0, 12);
printf("last %d %d\n", last.col, last.row);
getch();
KEL
start screen.kel
check screen-size "size 80 24"
if wait_for "moved"; then
  if screen | grep -q '^row  X$'; then pass cursor-moves-column-only; else fail cursor-moves-column-only "X not at column 5 of the same row"; fi
fi
check cursor-clamps-to-last-cell "last 79 23"
tmx send-keys -t case x

# --- ScreenClear blanks the whole screen ---
script clear.kel <<'KEL'
for (i = 0; i < 5; i++) printf("line %d\n", i);
suspend(200);
ScreenClear();
printf("cleared\n");
getch();
KEL
start clear.kel
if wait_for cleared; then
  first=$(screen | head -1)
  if [ "$first" = "cleared" ] && ! screen | grep -q "line"; then pass screen-clear; else fail screen-clear "old lines remain"; fi
else
  fail screen-clear "no output"
fi
tmx send-keys -t case x

# --- ScreenHandle: the same value twice, the title as it was ---
script handle.kel <<'KEL'
a = ScreenHandle();
b = ScreenHandle();
printf("same %d\n", a == b);
getch();
KEL
before=$(tmx display-message -p '#{pane_title}' 2>/dev/null)
start handle.kel
check screen-handle-stable "same 1"
after=$(tmx display-message -t case -p '#{pane_title}')
before=$(tmx display-message -t case -p '#{pane_title}')
if [ "$after" = "$before" ]; then pass screen-handle-title; else fail screen-handle-title "title changed"; fi
tmx send-keys -t case x

# --- suspend waits before the script goes on; a key typed meanwhile stays
#     queued (wine echoes such keys on a terminal instead, so only natively) ---
script suspend.kel <<'KEL'
printf("waiting\n");
suspend(1500);
printf("woke %d\n", kbhit());
KEL
start suspend.kel
if wait_for waiting; then
  if screen | grep -q woke; then fail suspend-waits "woke at once"; else pass suspend-waits; fi
  tmx send-keys -t case k
  if [ "$PLATFORM" = linux ]; then check suspend-keeps-key "woke 1"; else check suspend-ends "woke"; fi
else
  fail suspend-waits "the script did not start"
fi

# break_ends NAME SCRIPT-FILE READY-TEXT [PATIENCE]: Ctrl+C half a second
# after READY-TEXT shows ends the run with 0 (within PATIENCE seconds, when
# given) before the script's "not reached" line.
break_ends() {
  start "$2"
  if wait_for "$3"; then
    sleep 0.5
    tmx send-keys -t case C-c
    local saved=$PATIENCE
    PATIENCE=${4:-$PATIENCE}
    check "$1" "EXIT=0"
    PATIENCE=$saved
    if screen | grep -q "not reached"; then fail "$1-before-next" "the next statement ran"; fi
  else
    fail "$1" "the script did not start"
  fi
}

# --- Ctrl+C during a long suspend ends the pause and the run at once ---
script long_suspend.kel <<'KEL'
printf("sleeping\n");
suspend(600000);
printf("not reached\n");
KEL
break_ends break-ends-suspend long_suspend.kel sleeping

# --- a fatal message waits for a key on an interactive console ---
script fatal.kel <<'KEL'
a = {1};
a[2000000000] = 1;              // 8 GB of integers
KEL
start fatal.kel
if wait_for "0003: Insufficient Memory"; then
  sleep 0.5
  if screen | grep -q "EXIT="; then fail fatal-waits-for-key "ended without a key"; else pass fatal-waits-for-key; fi
  tmx send-keys -t case x
  check fatal-exit-code "EXIT=255"
else
  fail fatal-waits-for-key "no message"
fi

# --- a close request (SIGTERM here) ends the run with 255, in a loop and
#     inside a long suspend ---
# close_ends NAME SCRIPT-FILE READY-TEXT: SIGTERM once READY-TEXT shows.
close_ends() {
  start "$2"
  if wait_for "$3"; then
    shell=$(tmx display-message -t case -p '#{pane_pid}')
    pkill -TERM -P "$shell"  # the program, or the emulator running it
    check "$1" "EXIT=255"
  else
    fail "$1" "the script did not start"
  fi
}
if [ "$PLATFORM" = linux ]; then
  script close.kel <<'KEL'
printf("running\n");
while (1) ;
KEL
  close_ends close-exit-code close.kel running
  script close_suspend.kel <<'KEL'
printf("resting\n");
suspend(600000);
KEL
  close_ends close-ends-suspend close_suspend.kel resting
  # a read from a pipe that never delivers ends too
  script close_read.kel <<'KEL'
printf("waiting for input\n");
fgets(line, stdin);
KEL
  mkfifo "$WORK/pipe"
  (sleep 600 > "$WORK/pipe" &)
  close_ends close-ends-read "close_read.kel < pipe" "waiting for input"
  pkill -f "sleep 600" 2>/dev/null
fi

# --- Ctrl+C while a line is read from the terminal ends the read and the
#     run at once ---
script break_read.kel <<'KEL'
printf("type a line\n");
fgets(line, stdin);
printf("not reached\n");
KEL
break_ends break-ends-read break_read.kel "type a line"

# --- Ctrl+C inside one long library call (a sort whose script comparison
#     takes a while: minutes in all) ends it at once ---
script break_sort.kel <<'KEL'
order(a, b) { for (k = 0; k < 300; k++) ; return a - b; }
for (i = 0; i < 200000; i++) numbers[i] = (i * 7919) % 200003;
printf("sorting\n");
qsort(numbers, "order");
printf("not reached\n");
KEL
break_ends break-ends-sort break_sort.kel sorting

# --- the interactive shell: banner and prompt, autoload functions, editing
#     keys, history, a command filter that rewrites a line, a character
#     filter that swallows a key, Kel code at the prompt, exit ---
script autoload.kel <<'KEL'
twice(x) { return 2 * x; }
noX(line, cursor, key, extended, printable) { if (key == 'x') key = 0; return 0; }
passAll(line, cursor, key, extended, printable) { return 0; }
rewrite(line) { if (strcmp(line, "hello") == 0) return "printf(\"[filtered]\\n\")"; return line; }
hash(line, cursor, key, extended, printable) {
  if (key != '#') return 0;
  line = "printf(\"[redrawn]\\n\")"; cursor = strlen(line); key = 0;
  return 1;
}
KEL
# type_line TEXT: the keys of TEXT, then Enter.
type_line() { tmx send-keys -t case -l "$1"; tmx send-keys -t case Enter; }
# check_output NAME TEXT: the pane shows a line that is exactly TEXT (output,
# not the command line that printed it).
check_output() {
  local deadline=$((SECONDS + PATIENCE))
  while [ $SECONDS -le $deadline ]; do
    screen | sed 's/ *$//' | grep -qxF -- "$2" && { pass "$1"; return; }
    sleep 0.1
  done
  fail "$1" "expected a line \"$2\""
}
start ""
if wait_for "SYNTAX:" && wait_for "[Vetra  "; then
  pass shell-banner-and-prompt
  type_line 'printf("%d\n", twice(21))'
  check_output shell-autoload-function "42"
  tmx send-keys -t case -l 'printf("[%d]\n", 45)'
  tmx send-keys -t case Left Left BSpace 9 Enter
  check_output shell-left-and-backspace "[95]"
  tmx send-keys -t case Up Enter
  deadline=$((SECONDS + PATIENCE))
  until [ "$(screen | sed 's/ *$//' | grep -cxF '[95]')" -ge 2 ] || [ $SECONDS -gt $deadline ]; do sleep 0.1; done
  if [ "$(screen | sed 's/ *$//' | grep -cxF '[95]')" -ge 2 ]; then pass shell-history; else fail shell-history "Up did not recall the line"; fi
  tmx send-keys -t case -l 'printf("[delete]\n")X'
  tmx send-keys -t case Left DC Enter
  check_output shell-left-and-delete "[delete]"
  # wine's terminal input delivers no Home, End or lone Esc from tmux
  if [ "$PLATFORM" = linux ]; then
    tmx send-keys -t case -l 'Xprintf("[home]\n")'
    tmx send-keys -t case Home DC End Enter
    check_output shell-home-and-end "[home]"
    tmx send-keys -t case -l 'garbage'
    tmx send-keys -t case Escape
    type_line 'printf("[clean]\n")'
    check_output shell-escape-clears "[clean]"
  fi
  tmx send-keys -t case -l 'printf("[not run]\n")'
  wait_for '[not run]' && sleep 0.5  # every key taken before the break
  tmx send-keys -t case C-c
  sleep 0.5
  type_line 'printf("[after break]\n")'
  check_output shell-break-clears-line "[after break]"
  if screen | grep -qxF "[not run]"; then fail shell-break-drops-line "the cleared line ran"; fi
  type_line 'ShellFilterCommand("rewrite")'
  type_line 'hello'
  check_output shell-command-filter "[filtered]"
  type_line 'ShellFilterCharacter("noX", 1)'
  type_line 'printf("[axbx]\n")'
  check_output shell-character-filter "[ab]"
  type_line 'ShellFilterCharacter("hash", 1)'
  type_line '#'
  check_output shell-character-filter-redraws "[redrawn]"
  type_line 'ShellFilterCharacter("passAll", 0)'
  type_line 'exit'
  check shell-exit "EXIT=0"
else
  fail shell-banner-and-prompt "no prompt"
fi

exit $FAILED
