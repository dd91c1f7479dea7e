// Other programs on POSIX systems.

#include "platform/processes.h"

#include <sys/wait.h>

#include <cstdlib>

namespace kel::platform {

namespace {

// The exit status a shell reports for [status] from wait: 128 + the signal
// number when a signal ended the program.
int ExitStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

// "sh -c" gets the command as one argument, and the kernel takes no single
// argument longer than 32 pages.
std::size_t MaxCommandLength() { return 32 * 4096 - 1; }

int RunCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  return status == -1 ? -1 : ExitStatus(status);
}

}  // namespace kel::platform
