// The console program's built-in functions: the screen, the keyboard and
// suspend, added to the library's groups.

#include "hosts/console/console_builtins.h"

#include "engine/calls.h"
#include "engine/value.h"
#include "hosts/console/console_services.h"
#include "library/tables.h"

namespace kel {

namespace {

// A new structure with the integer members col and row, in that order.
void ReturnCell(CallFrame& frame, console::Cell cell) {
  Var* result = NewVar(KEL_STRUCT);
  SetMemberInt(*frame.run, result, "col", cell.col);
  SetMemberInt(*frame.run, result, "row", cell.row);
  SetReturn(frame, result, ReturnKind::HANDED_OVER);
}

void Screen_ScreenClear(CallFrame&) { console::ClearScreen(); }

// ScreenCursor([column [, row]]): moves the cursor, clamped to the buffer;
// -1 (taken as unsigned) means the last column or row.
void Screen_ScreenCursor(CallFrame& frame) {
  console::Cell cell{0, 0};
  console::CursorPosition(cell);
  if (frame.argCount > 0) {
    Var* column = GetParameter(frame, 0, PARAM_NUMERIC);
    if (column == nullptr) return;
    cell.col = GetInt(column);
    if (frame.argCount > 1) {
      Var* row = GetParameter(frame, 1, PARAM_NUMERIC);
      if (row == nullptr) return;
      cell.row = GetInt(row);
    }
    console::Cell size{0, 0};
    if (console::BufferSize(size)) {
      if (static_cast<std::uint32_t>(cell.col) >= static_cast<std::uint32_t>(size.col)) cell.col = size.col - 1;
      if (static_cast<std::uint32_t>(cell.row) >= static_cast<std::uint32_t>(size.row)) cell.row = size.row - 1;
    }
    console::MoveCursor(cell);
  }
  ReturnCell(frame, cell);
}

void Screen_ScreenSize(CallFrame& frame) {
  console::Cell size{0, 0};
  console::BufferSize(size);
  ReturnCell(frame, size);
}

void Screen_ScreenHandle(CallFrame& frame) {
  // Window handles carry 32 significant bits on 64-bit Windows too, so the
  // script integer holds one exactly.
  ReturnInt(frame, static_cast<std::int32_t>(console::ConsoleWindowHandle()));
}

void Screen_suspend(CallFrame& frame) {
  Var* milliseconds = GetParameter(frame, 0, PARAM_NUMERIC);
  if (milliseconds != nullptr) console::Pause(GetInt(milliseconds));
}

// getche's variant of the handler it shares with getch: the key is echoed.
constexpr std::uint32_t kEcho = 1;

void Keyboard_getch(CallFrame& frame) { ReturnInt(frame, console::ReadKey(CalledVariant(frame) == kEcho)); }

void Keyboard_kbhit(CallFrame& frame) { ReturnInt(frame, console::KeyWaiting() ? 1 : 0); }

constexpr LibraryEntry kScreenRows[] = {
    {"ScreenClear",  Screen_ScreenClear,  0, 0},
    {"ScreenCursor", Screen_ScreenCursor, 0, 2},
    {"ScreenSize",   Screen_ScreenSize,   0, 0},
    {"suspend",      Screen_suspend,      1, 1},
};

constexpr LibraryEntry kKeyboardRows[] = {
    {"getch",  Keyboard_getch, 0, 0},
    {"getche", Keyboard_getch, 0, 0, kEcho},
    {"kbhit",  Keyboard_kbhit, 0, 0},
};

constexpr LibraryEntry kWindowHandleRows[] = {
    {"ScreenHandle", Screen_ScreenHandle, 0, 0},
};

}  // namespace

void RegisterConsoleBuiltins() {
  SetHostRows(GROUP_DATA, kScreenRows);
  SetHostRows(GROUP_KEYBOARD, kKeyboardRows);
  SetHostRows(GROUP_DYNAMIC_LINK, kWindowHandleRows);
}

}  // namespace kel
