// The windowed program's built-in functions: the console window's screen
// (clear, cursor, size, handle), its keys, and suspend.

#include "hosts/windowed/windowed_builtins.h"

#include "base/process.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/messages.h"
#include "engine/value.h"
#include "hosts/windowed/window_host.h"
#include "library/tables.h"

namespace kel {

namespace {

WindowHost& HostOf(CallFrame& frame) { return static_cast<WindowHost&>(*frame.run->host); }

// A new structure with the integer members col and row, in that order.
void ReturnCell(CallFrame& frame, int column, int row) {
  Var* result = NewVar(KEL_STRUCT);
  SetMemberInt(*frame.run, result, "col", column);
  SetMemberInt(*frame.run, result, "row", row);
  SetReturn(frame, result, ReturnKind::HANDED_OVER);
}

bool IntegerArgument(CallFrame& frame, int i, int& value) {
  Var* var = GetParameter(frame, i, PARAM_NUMERIC);
  if (var == nullptr) return false;
  value = GetInt(var);
  return true;
}

void Screen_ScreenClear(CallFrame& frame) { HostOf(frame).Window().Clear(); }

// ScreenCursor([column [, row]]): moves the cursor within the visible cells;
// a value beyond them (or negative, taken as unsigned) is the last one.
void Screen_ScreenCursor(CallFrame& frame) {
  KelMainWindow& window = HostOf(frame).Window();
  int column, row;
  window.GetCursor(column, row);
  if (frame.argCount > 0) {
    if (!IntegerArgument(frame, 0, column)) return;
    if (frame.argCount > 1 && !IntegerArgument(frame, 1, row)) return;
    int columns, rows;
    window.GetSize(columns, rows);
    if (static_cast<unsigned>(column) >= static_cast<unsigned>(columns)) column = columns - 1;
    if (static_cast<unsigned>(row) >= static_cast<unsigned>(rows)) row = rows - 1;
    window.SetCursor(column, row);
  }
  ReturnCell(frame, column, row);
}

// ScreenSize([columns, rows [, lines]]): resizes the window to that many
// cells and keeps that many lines; gives the visible columns and rows.
void Screen_ScreenSize(CallFrame& frame) {
  KelMainWindow& window = HostOf(frame).Window();
  if (frame.argCount == 1) {
    Argument(frame, 1);  // the rows are missing: 1404
    return;
  }
  if (frame.argCount >= 2) {
    int columns, rows;
    if (!IntegerArgument(frame, 0, columns) || !IntegerArgument(frame, 1, rows)) return;
    window.Resize(columns, rows);
    if (frame.argCount == 3) {
      int lines;
      if (!IntegerArgument(frame, 2, lines)) return;
      window.SetCapacity(lines);
    }
  }
  int columns, rows;
  window.GetSize(columns, rows);
  ReturnCell(frame, columns, rows);
}

// suspend(milliseconds): waits with the window alive; a break ends only the
// wait, closing the window ends the run.
void Screen_suspend(CallFrame& frame) {
  int milliseconds;
  if (!IntegerArgument(frame, 0, milliseconds)) return;
  constexpr UINT_PTR kSuspendTimer = 666;
  HWND window = HostOf(frame).Window().Handle();
  if (SetTimer(window, kSuspendTimer, static_cast<UINT>(milliseconds), nullptr) == 0) {
    RaiseError(*frame.run, MSG_6001);
    return;
  }
  for (;;) {
    if (frame.run->runState != RUN_RUNNING || CloseRequested) return;
    if (BreakRequested) {
      BreakRequested = 0;
      return;
    }
    MSG message;
    if (GetMessageA(&message, nullptr, 0, 0) <= 0) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
    if (message.message == WM_TIMER && message.hwnd == window && message.wParam == kSuspendTimer) return;
  }
}

// getche's variant of the handler it shares with getch: the key is echoed.
constexpr std::uint32_t kEcho = 1;

void Keyboard_getch(CallFrame& frame) {
  WindowHost& host = HostOf(frame);
  const int key = host.WaitKey(frame.run);
  if (CalledVariant(frame) == kEcho && key != -1) {
    const char echo = static_cast<char>(key);
    host.WriteWindow(stdout, &echo, 1);
  }
  ReturnInt(frame, key);
}

void Keyboard_kbhit(CallFrame& frame) { ReturnInt(frame, HostOf(frame).Window().PeekKey()); }

constexpr LibraryEntry kScreenRows[] = {
    {"ScreenClear",  Screen_ScreenClear,  0, 0},
    {"ScreenCursor", Screen_ScreenCursor, 0, 2},
    {"ScreenSize",   Screen_ScreenSize,   0, 3},
    {"suspend",      Screen_suspend,      1, 1},
};

constexpr LibraryEntry kKeyboardRows[] = {
    {"getch",  Keyboard_getch, 0, 0},
    {"getche", Keyboard_getch, 0, 0, kEcho},
    {"kbhit",  Keyboard_kbhit, 0, 0},
};

}  // namespace

void RegisterWindowedBuiltins() {
  SetHostRows(GROUP_DATA, kScreenRows);
  SetHostRows(GROUP_KEYBOARD, kKeyboardRows);
}

}  // namespace kel
