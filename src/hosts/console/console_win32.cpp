// The console program on Win32: the platform macros, the console control
// handler, keys through the C runtime's console input, and the screen through
// the console API.

#include <conio.h>
#include <windows.h>

#include <cstdio>

#include "base/process.h"
#include "hosts/console/console_services.h"

namespace kel::console {

std::span<const char* const> PlatformMacros() {
  static const char* const kNt[] = {"_WIN32_", "_NTCON_"};
  static const char* const k95[] = {"_WIN32_", "_95CON_"};
  if (IsWindowsNT) return kNt;
  return k95;
}

namespace {

// The thread that runs scripts (the one that installs the handler), opened so
// that a read it waits in can be cancelled.
HANDLE scriptThread = nullptr;

// Every event is a break; a close, log-off or shut-down also closes. The
// platform never ends the process for them. The handler runs on a thread of
// its own: a read of the console the script waits in is cancelled, so that
// the break is seen at once rather than after the next line is typed.
BOOL WINAPI OnControlEvent(DWORD event) {
  BreakRequested = 1;
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) CloseRequested = 1;
  if (scriptThread != nullptr) CancelSynchronousIo(scriptThread);
  return TRUE;
}

// Installed before the program's entry runs.
struct BreakHandlerInstaller {
  BreakHandlerInstaller() { InstallBreakHandler(); }
} installer;

HANDLE Output() { return GetStdHandle(STD_OUTPUT_HANDLE); }

std::uintptr_t cachedWindow = 0;

}  // namespace

void InstallBreakHandler() {
  scriptThread = OpenThread(THREAD_TERMINATE, FALSE, GetCurrentThreadId());
  SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

void RestoreTerminal() {}

int ReadKey(bool echo) {
  std::fflush(stdout);
  int key = echo ? _getche() : _getch();
  // A key read with nothing behind it: the mouse, focus and key-release
  // events still queued are dropped.
  if (!_kbhit()) FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
  return key;
}

bool KeyWaiting() { return _kbhit() != 0; }

bool ReadEditingKey(int& code, bool& extended) {
  std::fflush(stdout);
  // Waiting here rather than inside _getch, a break finds no console read
  // to cancel: the shell clears its line and reads on.
  while (!_kbhit()) {
    if (BreakRequested || CloseRequested) return false;
    WaitForSingleObject(GetStdHandle(STD_INPUT_HANDLE), 50);
  }
  code = _getch();
  extended = code == 0 || code == 0xE0;  // the prefix of a key without a character
  if (extended) code = _getch();
  return code != EOF;
}

void ClearScreen() {
  std::fflush(stdout);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(Output(), &info)) return;
  DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
  DWORD written = 0;
  COORD origin{0, 0};
  FillConsoleOutputCharacterA(Output(), ' ', cells, origin, &written);
  if (GetConsoleScreenBufferInfo(Output(), &info)) {
    FillConsoleOutputAttribute(Output(), info.wAttributes, cells, origin, &written);
  }
  SetConsoleCursorPosition(Output(), origin);
}

bool CursorPosition(Cell& cell) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(Output(), &info)) return false;
  cell = Cell{info.dwCursorPosition.X, info.dwCursorPosition.Y};
  return true;
}

void MoveCursor(Cell cell) {
  std::fflush(stdout);
  SetConsoleCursorPosition(Output(), COORD{static_cast<SHORT>(cell.col), static_cast<SHORT>(cell.row)});
}

bool BufferSize(Cell& size) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(Output(), &info)) return false;
  size = Cell{info.dwSize.X, info.dwSize.Y};
  return true;
}

// The console has no window object of the program's own: it is found by a
// title that no other window has, set for a moment and then restored.
std::uintptr_t ConsoleWindowHandle() {
  if (cachedWindow != 0) return cachedWindow;
  char saved[1024] = {};
  GetConsoleTitleA(saved, sizeof saved);
  char unique[64];
  std::snprintf(unique, sizeof unique, "%lx%lx", GetTickCount(), GetCurrentProcessId());
  SetConsoleTitleA(unique);
  Sleep(40);
  cachedWindow = reinterpret_cast<std::uintptr_t>(FindWindowA(nullptr, unique));
  SetConsoleTitleA(saved);
  return cachedWindow;
}

// In slices, so that a break or close request (set by the console's handler
// thread) ends the pause: the run stops at its next statement.
void Pause(std::int32_t milliseconds) {
  constexpr std::int32_t kSlice = 50;
  while (milliseconds > 0 && !BreakRequested) {
    const std::int32_t slice = milliseconds < kSlice ? milliseconds : kSlice;
    Sleep(static_cast<DWORD>(slice));
    milliseconds -= slice;
  }
}

}  // namespace kel::console
