#pragma once
// Process-level services of the operating system: versions, the command line,
// the interpreter thread's stack, the console's interactivity.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kel::platform {

// True on Windows NT and its successors; false on Windows 95 and on POSIX.
bool IsWindowsNT();

// The command line after the program's own name, as the console program
// receives it: on Win32 the tail of GetCommandLineA, on POSIX the words of
// [argv] joined by blanks (quoted where they are empty or hold blanks).
std::string ProgramCommandTail(int argc, char** argv);

// Runs [body]([argument]) on a thread whose stack holds at least [stackBytes]
// and returns its result. Records that thread's stack bounds for the stack
// guard (StackRemaining).
int RunOnLargeStack(std::size_t stackBytes, int (*body)(void*), void* argument);

// The lowest usable stack address of the interpreter thread (set by
// RunOnLargeStack); the guard compares the current frame against it.
extern std::uintptr_t g_stackLimit;

// Bytes of machine stack left below the caller's frame.
inline std::size_t StackRemaining() {
  auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  return here > g_stackLimit ? here - g_stackLimit : 0;
}

// The handles of the top-level windows ([parent] 0) or of [parent]'s child
// windows, in the system's order; none on POSIX.
std::vector<std::uintptr_t> ListWindows(std::uintptr_t parent);

// True when standard input is an interactive console or terminal.
bool StandardInputIsInteractive();

// Waits for one key press on the console (used after a fatal message).
void WaitForKey();

// Reads the string [value] under the program's registry key
// (HKEY_LOCAL_MACHINE\SOFTWARE\[company]\[program]); empty when absent and
// always empty on POSIX.
std::string ReadRegistryString(const char* company, const char* program, const char* value);

}  // namespace kel::platform

namespace kel::platform {

// The process environment as NAME=VALUE entries, in the system's order.
std::vector<std::string> EnvironmentEntries();

// Sets the process environment variable [name] to [value], or removes it
// when [value] is null, where the C library and child processes see it.
void SetEnvironmentValue(const std::string& name, const char* value);

}  // namespace kel::platform
