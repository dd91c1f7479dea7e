// Other programs on Win32.

#include "platform/processes.h"

#include <cstdlib>

namespace kel::platform {

// What CMD.EXE takes on one command line.
std::size_t MaxCommandLength() { return 8191; }

int RunCommand(const std::string& command) { return std::system(command.c_str()); }

}  // namespace kel::platform
