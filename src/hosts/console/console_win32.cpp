// The console host's Win32 specifics.

#include "front/process.h"
#include "hosts/console/console_host.h"

namespace kel {

std::span<const char* const> ConsoleHost::PlatformMacros() const {
  static const char* const kNt[] = {"_WIN32_", "_NTCON_"};
  static const char* const k95[] = {"_WIN32_", "_95CON_"};
  if (IsWindowsNT) return kNt;
  return k95;
}

}  // namespace kel
