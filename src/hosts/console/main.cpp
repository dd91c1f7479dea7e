// The console program's entry: start-up values, the host, and the driver run
// on a stack large enough for deep script recursion.

#include <cstdlib>
#include <string>

#include "base/process.h"
#include "hosts/console/console_builtins.h"
#include "hosts/console/console_host.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "run/driver.h"

namespace {

// Deep recursion in a script must end with the stack guard's message, never
// with a crash; the guard needs a large stack to give that depth.
constexpr std::size_t kInterpreterStack = 256u * 1024u * 1024u;

struct Start {
  std::string commandLine;
  kel::Host* host;
};

// OPTIMIZATION: the run ends the process from the thread it ran on, with
// the C library's whole exit work (its handlers, buffered output). Taking a
// thread down and joining it first would bring in more of the C library than
// a short script uses in all.
int RunInterpreter(void* raw) {
  auto* start = static_cast<Start*>(raw);
  const int exitCode = kel::RunDriver(start->commandLine, start->host);
  kel::SetProcessHost(nullptr);
  std::exit(exitCode);
}

}  // namespace

int main(int argc, char** argv) {
  if (!kel::InitProcessPaths(kel::platform::ModuleFileName())) return 255;
  kel::RegisterConsoleBuiltins();
  kel::ConsoleHost host;
  kel::SetProcessHost(&host);
  Start start{kel::platform::ProgramCommandTail(argc, argv), &host};
  kel::platform::RunOnLargeStack(kInterpreterStack, RunInterpreter, &start);
  return 255;  // not reached: the run ends the process
}
