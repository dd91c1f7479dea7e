#pragma once
// The console services the console program offers scripts, declared once and
// implemented for Win32 (console API) and POSIX (terminal and ANSI sequences).

#include <cstdint>
#include <span>

namespace kel::console {

// The macros (each defined as "1") that tell scripts which system and console
// they run on.
std::span<const char* const> PlatformMacros();

struct Cell {
  std::int32_t col;
  std::int32_t row;
};

// Installs the handler that turns Ctrl+C (and a close) into break requests.
void InstallBreakHandler();

// Blanks the whole screen buffer and puts the cursor at column 0, row 0.
void ClearScreen();
// The cursor position; false when standard output is no console.
bool CursorPosition(Cell& cell);
void MoveCursor(Cell cell);
// The size of the screen buffer (not only the visible window).
bool BufferSize(Cell& size);
// The console's window handle, or 0 when it cannot be found.
std::uintptr_t ConsoleWindowHandle();

// Reads one key, echoing it with [echo]; -1 when none can be read.
int ReadKey(bool echo);
// True when a key is waiting.
bool KeyWaiting();
// Reads one key for the shell's line editor from the console (extended keys
// with the Windows console's codes); false when no more can be read.
bool ReadEditingKey(int& code, bool& extended);
// Leaves the key mode that ReadKey and KeyWaiting put the terminal in, so
// that line input edits and echoes again. Safe to call at any time.
void RestoreTerminal();

// Waits [milliseconds]; a break request does not cut it short.
void Pause(std::int32_t milliseconds);

}  // namespace kel::console
