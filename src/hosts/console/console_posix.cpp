// The console host's POSIX specifics.

#include "hosts/console/console_host.h"

namespace kel {

std::span<const char* const> ConsoleHost::PlatformMacros() const {
  static const char* const kMacros[] = {"_LINUX_", "_LXCON_"};
  return kMacros;
}

}  // namespace kel
