// Process-wide start-up values and the bind header.

#include "base/process.h"

#include <cstdint>
#include <new>

#include "base/host.h"
#include "base/message_table.h"
#include "platform/paths.h"
#include "platform/system.h"

namespace kel {

std::string InterpreterDir;
std::string InterpreterName;
std::string WindowsDir;
bool IsWindowsNT = false;
std::string BindTarget;
volatile std::sig_atomic_t BreakRequested = 0;
volatile std::sig_atomic_t CloseRequested = 0;
volatile std::sig_atomic_t PumpRequested = 0;
void (*HostMessagePump)() = nullptr;

// The bind header: eight zero bytes and the signature, findable by the binder in
// the executable file. A bound copy carries the program's offset and size here.
// Volatile, so that the compiler never folds the zero offset into the code.
extern "C" {
__attribute__((used)) volatile unsigned char KelBindHeader[kBindHeaderSize] = {
    0, 0, 0, 0, 0, 0, 0, 0, 'B', 'i', 'n', 'd', 'S', 't', 'a', 't', 's', 0};
}

bool ProgramIsBound() {
  return (KelBindHeader[0] | KelBindHeader[1] | KelBindHeader[2] | KelBindHeader[3]) != 0;
}

std::array<std::uint8_t, kBindHeaderSize> BindHeaderBytes() {
  std::array<std::uint8_t, kBindHeaderSize> bytes;
  for (std::size_t i = 0; i < kBindHeaderSize; ++i) bytes[i] = KelBindHeader[i];
  return bytes;
}

std::string InterpreterPath() { return InterpreterDir + InterpreterName; }

namespace {

Host* processHost = nullptr;

}  // namespace

Host* ProcessHost() { return processHost; }

void SetProcessHost(Host* host) { processHost = host; }

namespace {

void OutOfMemory() { FatalError(MSG_0003); }

}  // namespace

bool InitProcessPaths(const std::string& moduleFileName) {
  IsWindowsNT = platform::IsWindowsNT();
  std::set_new_handler(OutOfMemory);
  std::size_t nameStart = 0;
  for (std::size_t i = moduleFileName.size(); i > 0; --i) {
    if (platform::IsDirectorySeparator(moduleFileName[i - 1])) {
      nameStart = i;
      break;
    }
  }
  InterpreterDir = moduleFileName.substr(0, nameStart);
  InterpreterName = moduleFileName.substr(nameStart);
  return true;
}

}  // namespace kel
