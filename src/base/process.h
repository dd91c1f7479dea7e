#pragma once
// Process-wide values, set once at start-up before the run driver runs.

#include <array>
#include <csignal>
#include <cstdint>
#include <string>

namespace kel {

// The interpreter's own directory, with its trailing separator.
extern std::string InterpreterDir;
// The file-name part of the interpreter's own path.
extern std::string InterpreterName;
// The Windows directory (read by the windowed program only).
extern std::string WindowsDir;
// True on Windows NT (and on its successors).
extern bool IsWindowsNT;
// The output named by "/BIND=", or empty.
extern std::string BindTarget;

// Set asynchronously by the host (Ctrl+C, the console window's Break command);
// the statement walker tests and clears it.
extern volatile std::sig_atomic_t BreakRequested;
// Set by the host when its console or window is closing; a run that ends while
// it is set asks its caller to exit with 255.
extern volatile std::sig_atomic_t CloseRequested;
// Set now and then by a windowed host while a script runs: before the next
// statement the engine lets HostMessagePump handle the window's messages.
// The console program leaves both alone.
extern volatile std::sig_atomic_t PumpRequested;
extern void (*HostMessagePump)();

// True when this executable carries a bound program (its bind header holds an
// offset).
bool ProgramIsBound();

// The bind header as this executable holds it in memory: the program data's
// file offset and size (u32 each, little-endian; zero in the interpreter as
// built), then "BindStats" and a zero byte.
constexpr std::size_t kBindHeaderSize = 18;
std::array<std::uint8_t, kBindHeaderSize> BindHeaderBytes();

// The interpreter's full path: InterpreterDir followed by InterpreterName.
std::string InterpreterPath();

// Fills the values above from [moduleFileName] and installs the handler that
// turns every failed allocation into the fatal message 0003. Returns true.
bool InitProcessPaths(const std::string& moduleFileName);

}  // namespace kel
